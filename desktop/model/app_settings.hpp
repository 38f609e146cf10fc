#pragma once

// The desktop app's own settings, in the preferences domain of the application id (not the
// suite's shared one): eight keys with their defaults, and the helpers for the automatic-capture
// switch, its switch-on date and the screenshots already handled. Storage is best effort: a
// store that cannot be opened reads as the defaults and drops writes.
//
// The handled screenshots are read from the store once, at their first use, into a hash set that
// every copy of this AppSettings shares (copies go to the worker threads that send): asking
// whether a shot was handled never reads the store again, and recording one writes the list once
// without reading it. The app is the list's only writer; another AppSettings made from scratch
// reads what this one has written, but does not see its later records.

#include <desktop/model/hotkey_combo.hpp>

#include <capturekit/account/account_steps.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/preferences.hpp>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::desktop {

class AppSettings {
public:
    static constexpr std::string_view autoCaptureEnabledKey =
        capturekit::AccountSteps::autoCaptureEnabledKey;
    static constexpr std::string_view autoCaptureEnabledAtKey =
        capturekit::AccountSteps::autoCaptureEnabledAtKey;
    static constexpr std::string_view confirmBeforeSendingKey =
        "desktopCaptureConfirmBeforeSending";
    static constexpr std::string_view sentFingerprintsKey = "desktopCaptureSentFingerprints";
    static constexpr std::string_view folderOverrideKey = "desktopCaptureFolderOverride";
    static constexpr std::string_view selectionHotkeyEnabledKey = "selectionHotkeyEnabled";
    static constexpr std::string_view quickEntryHotkeyEnabledKey = "quickEntryHotkeyEnabled";
    static constexpr std::string_view hotkeyComboKey = "selectionHotkeyCombo";

    // Fingerprints kept by recordSent; older ones are forgotten unless their file is still there.
    static constexpr std::size_t sentFingerprintLimit = 500;
    // Fingerprints kept at the most, files on disk or not: a folder of more handled screenshots
    // than this may see its oldest offered again.
    static constexpr std::size_t sentFingerprintHardLimit = 20000;

    // The application's standard preferences and the system clock.
    AppSettings();
    AppSettings(capturekit::Preferences preferences, const capturekit::Clock& clock);

    const capturekit::Preferences& preferences() const { return preferences_; }

    bool autoCaptureEnabled() const;
    // Stores the switch; switching on keeps an earlier switch-on date or stores now, switching
    // off removes the date.
    void persistAutoCapture(bool on) const;
    // Absent when missing or not a date.
    std::optional<capturekit::Date> autoCaptureEnabledAt() const;

    bool confirmBeforeSending() const;
    void setConfirmBeforeSending(bool on) const;

    // The list as it is stored, oldest first.
    std::vector<std::string> sentFingerprints() const;
    bool wasSent(std::string_view fingerprint) const;
    // Adds the fingerprint unless it is already there, and stores the list. Beyond
    // sentFingerprintLimit the oldest are dropped, but not those of screenshots still on disk
    // unchanged, which are never offered again; each fingerprint's file is looked for at most once
    // a run (the first use prunes what was stored), so one that was found stays until the next
    // start. Beyond sentFingerprintHardLimit the oldest go regardless.
    void recordSent(const std::string& fingerprint) const;

    std::optional<std::string> folderOverride() const;
    // Stores the folder to watch; absent removes it, so the desktop's own folder is watched.
    void setFolderOverride(const std::optional<std::string>& folder) const;

    // Absent reads as on; a stored false as off.
    bool selectionHotkeyEnabled() const;
    void setSelectionHotkeyEnabled(bool on) const;
    bool quickEntryHotkeyEnabled() const;
    void setQuickEntryHotkeyEnabled(bool on) const;

    // An absent or unknown raw value reads as controlOption.
    HotkeyCombo hotkeyCombo() const;
    void setHotkeyCombo(HotkeyCombo combo) const;

private:
    class HandledList;

    bool flag(std::string_view key, bool fallback) const;

    capturekit::Preferences preferences_;
    const capturekit::Clock* clock_;
    std::shared_ptr<HandledList> handled_;
};

} // namespace tarvo::desktop
