#include <desktop/model/app_settings.hpp>

#include <desktop/model/detected_screenshot.hpp>

#include <capturekit/account/capture_config.hpp>

#include <algorithm>

namespace tarvo::desktop {

using namespace capturekit;

AppSettings::AppSettings()
    : AppSettings(CaptureConfig::standardPreferences(), SystemClock::shared()) {}

AppSettings::AppSettings(Preferences preferences, const Clock& clock)
    : preferences_(std::move(preferences)), clock_(&clock) {}

bool AppSettings::flag(std::string_view key, bool fallback) const {
    return preferences_.get<bool>(key).value_or(fallback);
}

bool AppSettings::autoCaptureEnabled() const {
    return flag(autoCaptureEnabledKey, false);
}

void AppSettings::persistAutoCapture(bool on) const {
    preferences_.set(autoCaptureEnabledKey, on);
    if (!on) {
        preferences_.remove(autoCaptureEnabledAtKey);
        return;
    }
    const Date now = clock_->now();
    preferences_.update(autoCaptureEnabledAtKey, [now](std::optional<PreferenceValue> stored) {
        if (stored && std::holds_alternative<Date>(*stored)) {
            return stored;
        }
        return std::optional<PreferenceValue>(now);
    });
}

std::optional<Date> AppSettings::autoCaptureEnabledAt() const {
    return preferences_.get<Date>(autoCaptureEnabledAtKey);
}

bool AppSettings::confirmBeforeSending() const {
    return flag(confirmBeforeSendingKey, false);
}

void AppSettings::setConfirmBeforeSending(bool on) const {
    preferences_.set(confirmBeforeSendingKey, on);
}

std::vector<std::string> AppSettings::sentFingerprints() const {
    return preferences_.get<std::vector<std::string>>(sentFingerprintsKey)
        .value_or(std::vector<std::string>{});
}

bool AppSettings::wasSent(std::string_view fingerprint) const {
    const auto sent = sentFingerprints();
    return std::ranges::find(sent, fingerprint) != sent.end();
}

void AppSettings::recordSent(const std::string& fingerprint) const {
    preferences_.update(sentFingerprintsKey, [&](std::optional<PreferenceValue> stored) {
        std::vector<std::string> list;
        if (auto* strings = stored ? std::get_if<std::vector<std::string>>(&*stored) : nullptr) {
            list = std::move(*strings);
        }
        if (std::ranges::find(list, fingerprint) != list.end()) {
            return std::optional<PreferenceValue>(std::move(list));
        }
        list.push_back(fingerprint);
        // The oldest go first, except screenshots still in the folder: forgetting one of those
        // would offer it again at the next start.
        auto excess = list.size() > sentFingerprintLimit ? list.size() - sentFingerprintLimit : 0;
        std::erase_if(list, [&](const std::string& sent) {
            if (excess == 0 || isStillOnDisk(sent)) {
                return false;
            }
            --excess;
            return true;
        });
        return std::optional<PreferenceValue>(std::move(list));
    });
}

std::optional<std::string> AppSettings::folderOverride() const {
    return preferences_.get<std::string>(folderOverrideKey);
}

bool AppSettings::selectionHotkeyEnabled() const {
    return flag(selectionHotkeyEnabledKey, true);
}

void AppSettings::setSelectionHotkeyEnabled(bool on) const {
    preferences_.set(selectionHotkeyEnabledKey, on);
}

bool AppSettings::quickEntryHotkeyEnabled() const {
    return flag(quickEntryHotkeyEnabledKey, true);
}

void AppSettings::setQuickEntryHotkeyEnabled(bool on) const {
    preferences_.set(quickEntryHotkeyEnabledKey, on);
}

HotkeyCombo AppSettings::hotkeyCombo() const {
    return hotkeyComboOrDefault(preferences_.get<std::string>(hotkeyComboKey).value_or(""));
}

void AppSettings::setHotkeyCombo(HotkeyCombo combo) const {
    preferences_.set(hotkeyComboKey, std::string(rawValue(combo)));
}

} // namespace tarvo::desktop
