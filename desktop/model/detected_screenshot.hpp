#pragma once

// One screenshot file as the watcher reports it, identified by its fingerprint: the path, the
// modification time in whole seconds and the size, so a rewritten file is a new screenshot and
// the same file seen again is not.

#include <desktop/model/window_title.hpp>

#include <capturekit/platform/date_time.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

// A file modified more recently than this may still be being written.
inline constexpr std::chrono::milliseconds screenshotSettleTime{600};

struct DetectedScreenshot {
    std::filesystem::path url;
    // The birth time, or the modification time when the file system keeps none.
    capturekit::Date createdAt{};
    std::int64_t size = 0; // at least 1
    std::string fingerprint;
    std::optional<std::string> frontmostWindowTitle;

    // The last path component, as valid UTF-8.
    std::string fileName() const;

    bool operator==(const DetectedScreenshot&) const = default;
};

// The order screenshots are offered in: the time they were taken, then their names.
bool takenBefore(const DetectedScreenshot& first, const DetectedScreenshot& second);

// PATH|SECONDS|SIZE, the seconds since 1970 truncated toward zero. A path that is not valid UTF-8
// has its bad bytes and its "%" signs percent-encoded, so the fingerprint can travel in JSON and
// still tells such names apart.
std::string screenshotFingerprint(const std::filesystem::path& file, capturekit::Date modified,
                                  std::int64_t size);

// Whether the fingerprint names a file that is still there unchanged (same path, modification
// second and size). One stat call, two for a path with a "%".
bool isStillOnDisk(std::string_view fingerprint);

// What a candidate file is now: a shot (without a window title yet), or not yet settled (with the
// time until it is), or neither (unreadable, not a regular file, empty, or modified in the future).
struct ShotProbe {
    std::optional<DetectedScreenshot> shot;
    std::optional<std::chrono::microseconds> settlesIn;
};
ShotProbe probeShot(const std::filesystem::path& file, capturekit::Date now);

// The screenshot of a settled, non-empty regular file, with the frontmost window's title from
// `title` when given; absent otherwise.
std::optional<DetectedScreenshot> makeShot(const std::filesystem::path& file, capturekit::Date now,
                                           const WindowTitleSource& title = {});

} // namespace tarvo::desktop
