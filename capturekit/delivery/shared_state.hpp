#pragma once

// The small state the suite's capture surfaces share through the app-group preferences, and the
// owner mark of captures made now. Every member reads or writes the store when called (nothing is
// kept in memory); when the store cannot be opened, getters give their default and setters do
// nothing. Callable from any thread; list updates run in one transaction each, so processes
// sharing the store never lose each other's entries.

#include <capturekit/delivery/recent_capture.hpp>
#include <capturekit/model/capture_surface.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/secret_store.hpp>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit::SharedState {

// The owner under the test runner, whatever session is stored.
inline constexpr std::string_view testRunnerOwner = "xctest-user";

inline constexpr std::size_t maxSentScreenshotIDs = 1000;
inline constexpr std::size_t maxAudioAttempts = 10;
inline constexpr std::size_t maxCaptureTimings = 8;
inline constexpr std::size_t maxRecentCaptures = 20;

// The owner of captures made now: the test runner's fixed owner, else the signed-in user's id,
// else the device token's identity; absent when there is none of them.
std::optional<std::string> currentUserID();
// The same decision over a given secret store, with the test-runner probe given.
std::optional<std::string> currentUserID(SecretStore& secrets, bool underTestRunner);

void setPendingSurface(CaptureSurface surface);
// Read-once: the key is removed even when it names no surface.
std::optional<CaptureSurface> consumePendingSurface();

std::int64_t lastPasteboardChangeCount();
void setLastPasteboardChangeCount(std::int64_t count);

bool autoScreenshotEnabled();
void setAutoScreenshotEnabled(bool enabled);
std::optional<Date> autoScreenshotEnabledAt();
void setAutoScreenshotEnabledAt(std::optional<Date> date);

std::set<std::string> sentScreenshotIDs();
// Appends the id unless present; only the newest 1000 ids are kept.
void markScreenshotSent(std::string_view id);

struct AudioAttempt {
    std::string at;
    std::string uid;
    std::string path;
    std::string result;
    bool operator==(const AudioAttempt&) const = default;
};
void recordAudioAttempt(std::string_view uid, std::string_view path, std::string_view result,
                        Date now = dates::now());
std::vector<AudioAttempt> audioAttempts();

struct CaptureTiming {
    std::string label;
    std::string render;
    std::string suggest;
    std::string chars;
    std::string suggested;
    std::string sent;
    bool operator==(const CaptureTiming&) const = default;
};
void recordCaptureTiming(std::string_view label, std::optional<double> render,
                         std::optional<double> suggest, std::optional<std::int64_t> suggestChars,
                         const std::optional<std::string>& suggested,
                         const std::optional<std::string>& sent);
std::vector<CaptureTiming> captureTimings();
void clearCaptureTimings();

std::optional<Date> screenshotLastSyncAt();
void setScreenshotLastSyncAt(std::optional<Date> date);
std::int64_t screenshotLastSyncSent();
void setScreenshotLastSyncSent(std::int64_t count);
std::optional<std::string> screenshotLastSyncError();
void setScreenshotLastSyncError(const std::optional<std::string>& error);

// The apps-enabled cache.
std::set<std::string> disabledAppKeys();
void setDisabledAppKeys(const std::set<std::string>& keys);
std::optional<Date> appsEnabledFetchedAt();
void setAppsEnabledFetchedAt(std::optional<Date> date);

// Adds a row owned by currentUserID() at the front of the recents; only the newest 20 rows of
// all owners together are kept.
void logCapture(Destination destination, std::string_view title,
                const std::optional<std::string>& entryID,
                const std::optional<std::string>& recordingID,
                const std::optional<std::string>& category, Date at);
// The same with the owner given.
void logCapture(const RecentCapture& row);
// The current owner's rows, newest first; none without an owner.
std::vector<RecentCapture> recent();
std::vector<RecentCapture> recent(const std::optional<std::string>& owner);

} // namespace capturekit::SharedState
