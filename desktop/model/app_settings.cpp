#include <desktop/model/app_settings.hpp>

#include <desktop/model/detected_screenshot.hpp>

#include <capturekit/account/capture_config.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_set>

namespace tarvo::desktop {

using namespace capturekit;

// The handled fingerprints in their stored order: those whose file was found on disk this run,
// then those not looked for yet, each oldest first. Loaded from the store at the first use; files
// are looked for outside the store's lock, each at most once.
class AppSettings::HandledList {
public:
    bool contains(const Preferences& store, std::string_view fingerprint) {
        const std::lock_guard lock(mutex_);
        load(store);
        return members_.contains(fingerprint);
    }

    void add(const Preferences& store, const std::string& fingerprint) {
        {
            const std::lock_guard lock(mutex_);
            load(store);
            if (!members_.insert(fingerprint).second) {
                return;
            }
            unchecked_.push_back(fingerprint);
            trim();
            ++version_;
        }
        save(store);
    }

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept {
            return std::hash<std::string_view>{}(text);
        }
    };

    std::size_t size() const { return onDisk_.size() + unchecked_.size(); }

    void load(const Preferences& store) {
        if (loaded_) {
            return;
        }
        loaded_ = true;
        for (auto& fingerprint : store.get<std::vector<std::string>>(sentFingerprintsKey)
                                     .value_or(std::vector<std::string>{})) {
            if (members_.insert(fingerprint).second) {
                unchecked_.push_back(std::move(fingerprint));
            }
        }
        trim(); // stored with the next record
    }

    // Beyond the limit the oldest go, except files still on disk; beyond the hard limit, any.
    void trim() {
        while (size() > sentFingerprintLimit && !unchecked_.empty()) {
            std::string oldest = std::move(unchecked_.front());
            unchecked_.pop_front();
            if (isStillOnDisk(oldest)) {
                onDisk_.push_back(std::move(oldest));
            } else {
                members_.erase(oldest);
            }
        }
        while (size() > sentFingerprintHardLimit) {
            auto& oldest = onDisk_.empty() ? unchecked_ : onDisk_;
            members_.erase(oldest.front());
            oldest.pop_front();
        }
    }

    // Writes the list as it is now, unless a later write has already stored it.
    void save(const Preferences& store) {
        const std::lock_guard writing(writing_);
        std::vector<std::string> list;
        std::uint64_t version = 0;
        {
            const std::lock_guard lock(mutex_);
            if (version_ == written_) {
                return;
            }
            list.reserve(size());
            list.insert(list.end(), onDisk_.begin(), onDisk_.end());
            list.insert(list.end(), unchecked_.begin(), unchecked_.end());
            version = version_;
        }
        if (store.set(sentFingerprintsKey, std::move(list))) {
            written_ = version;
        }
    }

    std::mutex mutex_;
    bool loaded_ = false;
    std::unordered_set<std::string, TextHash, std::equal_to<>> members_;
    std::deque<std::string> onDisk_;
    std::deque<std::string> unchecked_;
    std::uint64_t version_ = 0;

    std::mutex writing_; // one write at a time, the newest list last
    std::uint64_t written_ = 0;
};

AppSettings::AppSettings()
    : AppSettings(CaptureConfig::standardPreferences(), SystemClock::shared()) {}

AppSettings::AppSettings(Preferences preferences, const Clock& clock)
    : preferences_(std::move(preferences)), clock_(&clock),
      handled_(std::make_shared<HandledList>()) {}

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
    return handled_->contains(preferences_, fingerprint);
}

void AppSettings::recordSent(const std::string& fingerprint) const {
    handled_->add(preferences_, fingerprint);
}

void AppSettings::setFolderOverride(const std::optional<std::string>& folder) const {
    if (folder) {
        preferences_.set(folderOverrideKey, *folder);
    } else {
        preferences_.remove(folderOverrideKey);
    }
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
