#include <capturekit/delivery/shared_state.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/uuid.hpp>

#include <algorithm>
#include <clocale>
#include <cstdio>

namespace capturekit::SharedState {

namespace {

namespace keys {
constexpr std::string_view pendingSurface = "pendingCaptureSurface";
constexpr std::string_view pasteboardChangeCount = "lastPasteboardChangeCount";
constexpr std::string_view autoScreenshot = "autoScreenshotEnabled";
constexpr std::string_view autoScreenshotAt = "autoScreenshotEnabledAt";
constexpr std::string_view sentScreenshots = "sentScreenshotIDs";
constexpr std::string_view audioAttempts = "audioUploadAttempts";
constexpr std::string_view captureTimings = "captureTimings";
constexpr std::string_view lastSyncAt = "screenshotLastSyncAt";
constexpr std::string_view lastSyncSent = "screenshotLastSyncSent";
constexpr std::string_view lastSyncError = "screenshotLastSyncError";
constexpr std::string_view disabledApps = "disabledAppKeys";
constexpr std::string_view appsFetchedAt = "appsEnabledFetchedAt";
constexpr std::string_view recentCaptures = "recentCaptures";
} // namespace keys

Preferences store() {
    return CaptureConfig::appGroupPreferences();
}

template <typename T> T stored(std::string_view key, T fallback) {
    return store().get<T>(key).value_or(std::move(fallback));
}

void setOrRemove(std::string_view key, const std::optional<PreferenceValue>& value) {
    if (value) {
        store().set(key, *value);
    } else {
        store().remove(key);
    }
}

std::vector<std::string> storedList(const std::optional<PreferenceValue>& value) {
    if (value) {
        if (const auto* list = std::get_if<std::vector<std::string>>(&*value)) {
            return *list;
        }
    }
    return {};
}

// Puts a line at the front of a string list, keeping the first `limit` lines.
void pushFront(std::string_view key, std::string line, std::size_t limit) {
    store().update(key,
                   [&](std::optional<PreferenceValue> value) -> std::optional<PreferenceValue> {
                       auto lines = storedList(value);
                       lines.insert(lines.begin(), line);
                       if (lines.size() > limit) {
                           lines.resize(limit);
                       }
                       return lines;
                   });
}

std::vector<std::vector<std::string>> splitLines(std::string_view key, std::size_t parts) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : stored<std::vector<std::string>>(key, {})) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
            fields.push_back(line.substr(start, bar - start));
        }
        fields.push_back(line.substr(start));
        if (fields.size() == parts) {
            rows.push_back(std::move(fields));
        }
    }
    return rows;
}

std::string decimalOrDash(std::optional<double> value) {
    if (!value) {
        return "-";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", *value);
    // The log is read by tools that expect a point, whatever the person's locale says.
    std::string formatted = buffer;
    const std::string_view localPoint = std::localeconv()->decimal_point;
    if (const auto at = formatted.find(localPoint);
        !localPoint.empty() && at != std::string::npos) {
        formatted.replace(at, localPoint.size(), ".");
    }
    return formatted;
}

std::vector<RecentCapture> decodeRecents(const std::optional<PreferenceValue>& value) {
    if (value) {
        if (const auto* bytes = std::get_if<PreferenceBytes>(&*value)) {
            return RecentCapture::decodeList(
                std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        }
    }
    return {};
}

} // namespace

std::optional<std::string> currentUserID(SecretStore& secrets, bool underTestRunner) {
    if (underTestRunner) {
        return std::string(testRunnerOwner);
    }
    if (auto session = SessionStore::read(secrets)) {
        return std::move(session->userID);
    }
    return TokenStore::identity(secrets);
}

std::optional<std::string> currentUserID() {
    static const bool underTestRunner = application::isRunningUnderTestRunner();
    return currentUserID(SecretStore::active(), underTestRunner);
}

void setPendingSurface(CaptureSurface surface) {
    store().set(keys::pendingSurface, std::string(rawValue(surface)));
}

std::optional<CaptureSurface> consumePendingSurface() {
    std::optional<std::string> raw;
    store().update(keys::pendingSurface,
                   [&](std::optional<PreferenceValue> value) -> std::optional<PreferenceValue> {
                       if (value) {
                           if (const auto* text = std::get_if<std::string>(&*value)) {
                               raw = *text;
                           }
                       }
                       return std::nullopt;
                   });
    return raw ? fromRawValue<CaptureSurface>(*raw) : std::nullopt;
}

std::int64_t lastPasteboardChangeCount() {
    return stored<std::int64_t>(keys::pasteboardChangeCount, 0);
}

void setLastPasteboardChangeCount(std::int64_t count) {
    store().set(keys::pasteboardChangeCount, count);
}

bool autoScreenshotEnabled() {
    return stored<bool>(keys::autoScreenshot, false);
}

void setAutoScreenshotEnabled(bool enabled) {
    store().set(keys::autoScreenshot, enabled);
}

std::optional<Date> autoScreenshotEnabledAt() {
    return store().get<Date>(keys::autoScreenshotAt);
}

void setAutoScreenshotEnabledAt(std::optional<Date> date) {
    setOrRemove(keys::autoScreenshotAt,
                date ? std::optional<PreferenceValue>(*date) : std::nullopt);
}

std::set<std::string> sentScreenshotIDs() {
    const auto ids = stored<std::vector<std::string>>(keys::sentScreenshots, {});
    return {ids.begin(), ids.end()};
}

void markScreenshotSent(std::string_view id) {
    store().update(keys::sentScreenshots,
                   [&](std::optional<PreferenceValue> value) -> std::optional<PreferenceValue> {
                       auto ids = storedList(value);
                       if (std::ranges::find(ids, id) != ids.end()) {
                           return value;
                       }
                       ids.emplace_back(id);
                       if (ids.size() > maxSentScreenshotIDs) {
                           ids.erase(ids.begin(), ids.end() - maxSentScreenshotIDs);
                       }
                       return ids;
                   });
}

void recordAudioAttempt(std::string_view uid, std::string_view path, std::string_view result,
                        Date now) {
    const std::string stamp = dates::iso8601(now);
    std::string line = stamp.substr(stamp.size() - std::min<std::size_t>(8, stamp.size()));
    line +=
        "|" + text::characterPrefix(uid, 8) + "|" + std::string(path) + "|" + std::string(result);
    pushFront(keys::audioAttempts, std::move(line), maxAudioAttempts);
}

std::vector<AudioAttempt> audioAttempts() {
    std::vector<AudioAttempt> attempts;
    for (auto& fields : splitLines(keys::audioAttempts, 4)) {
        attempts.push_back({std::move(fields[0]), std::move(fields[1]), std::move(fields[2]),
                            std::move(fields[3])});
    }
    return attempts;
}

void recordCaptureTiming(std::string_view label, std::optional<double> render,
                         std::optional<double> suggest, std::optional<std::int64_t> suggestChars,
                         const std::optional<std::string>& suggested,
                         const std::optional<std::string>& sent) {
    const std::string line = std::string(label) + "|" + decimalOrDash(render) + "|" +
                             decimalOrDash(suggest) + "|" +
                             (suggestChars ? std::to_string(*suggestChars) : "-") + "|" +
                             suggested.value_or("-") + "|" + sent.value_or("-");
    pushFront(keys::captureTimings, line, maxCaptureTimings);
}

std::vector<CaptureTiming> captureTimings() {
    std::vector<CaptureTiming> timings;
    for (auto& f : splitLines(keys::captureTimings, 6)) {
        timings.push_back({std::move(f[0]), std::move(f[1]), std::move(f[2]), std::move(f[3]),
                           std::move(f[4]), std::move(f[5])});
    }
    return timings;
}

void clearCaptureTimings() {
    store().remove(keys::captureTimings);
}

std::optional<Date> screenshotLastSyncAt() {
    return store().get<Date>(keys::lastSyncAt);
}

void setScreenshotLastSyncAt(std::optional<Date> date) {
    setOrRemove(keys::lastSyncAt, date ? std::optional<PreferenceValue>(*date) : std::nullopt);
}

std::int64_t screenshotLastSyncSent() {
    return stored<std::int64_t>(keys::lastSyncSent, 0);
}

void setScreenshotLastSyncSent(std::int64_t count) {
    store().set(keys::lastSyncSent, count);
}

std::optional<std::string> screenshotLastSyncError() {
    return store().get<std::string>(keys::lastSyncError);
}

void setScreenshotLastSyncError(const std::optional<std::string>& error) {
    setOrRemove(keys::lastSyncError, error ? std::optional<PreferenceValue>(*error) : std::nullopt);
}

std::set<std::string> disabledAppKeys() {
    const auto list = stored<std::vector<std::string>>(keys::disabledApps, {});
    return {list.begin(), list.end()};
}

void setDisabledAppKeys(const std::set<std::string>& keys) {
    store().set(keys::disabledApps, std::vector<std::string>(keys.begin(), keys.end()));
}

std::optional<Date> appsEnabledFetchedAt() {
    return store().get<Date>(keys::appsFetchedAt);
}

void setAppsEnabledFetchedAt(std::optional<Date> date) {
    setOrRemove(keys::appsFetchedAt, date ? std::optional<PreferenceValue>(*date) : std::nullopt);
}

void logCapture(const RecentCapture& row) {
    store().update(keys::recentCaptures,
                   [&](std::optional<PreferenceValue> value) -> std::optional<PreferenceValue> {
                       auto rows = decodeRecents(value);
                       rows.insert(rows.begin(), row);
                       if (rows.size() > maxRecentCaptures) {
                           rows.resize(maxRecentCaptures);
                       }
                       const std::string encoded = RecentCapture::encodeList(rows);
                       return PreferenceBytes(encoded.begin(), encoded.end());
                   });
}

void logCapture(Destination destination, std::string_view title,
                const std::optional<std::string>& entryID,
                const std::optional<std::string>& recordingID,
                const std::optional<std::string>& category, Date at) {
    logCapture(RecentCapture{makeUUIDString(), destination, std::string(title), at, entryID,
                             category, recordingID, currentUserID()});
}

std::vector<RecentCapture> recent(const std::optional<std::string>& owner) {
    if (!owner) {
        return {};
    }
    auto rows = decodeRecents(store().value(keys::recentCaptures));
    std::erase_if(rows, [&](const RecentCapture& row) { return row.owner != owner; });
    return rows;
}

std::vector<RecentCapture> recent() {
    return recent(currentUserID());
}

} // namespace capturekit::SharedState
