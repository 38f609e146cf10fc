#include <capturekit/account/ai_consent.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/notification_center.hpp>

namespace capturekit::AIConsent {

namespace {

constexpr std::string_view decidedKey = "aiConsentDecided";
constexpr std::string_view grantedKey = "aiConsentGranted";
constexpr std::string_view suggestionsKey = "aiSuggestionsEnabled";

bool flag(std::string_view key, bool fallback) {
    return CaptureConfig::appGroupPreferences().get<bool>(key).value_or(fallback);
}

} // namespace

bool hasDecided() {
    return flag(decidedKey, false);
}

bool isGranted() {
    return flag(grantedKey, false);
}

void record(bool granted) {
    const Preferences preferences = CaptureConfig::appGroupPreferences();
    preferences.set(decidedKey, true);
    preferences.set(grantedKey, granted);
    NotificationCenter::shared().post(didChangeNotification);
}

void reset() {
    const Preferences preferences = CaptureConfig::appGroupPreferences();
    for (const std::string_view key : {decidedKey, grantedKey, suggestionsKey}) {
        preferences.remove(key);
    }
    NotificationCenter::shared().post(didChangeNotification);
}

void askIfUndecided() {
    if (!hasDecided()) {
        NotificationCenter::shared().post(needsDecisionNotification);
    }
}

bool suggestionsEnabled() {
    return flag(suggestionsKey, true);
}

void setSuggestionsEnabled(bool enabled) {
    CaptureConfig::appGroupPreferences().set(suggestionsKey, enabled);
}

bool mayRequestSuggestions() {
    return isGranted() && suggestionsEnabled();
}

} // namespace capturekit::AIConsent
