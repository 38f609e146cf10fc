#pragma once

// The two global hot keys and what they do: the selected-text capture, shown with Undo and sent
// once its undo window has passed, and the quick-entry box whose lines go to docket. Lives on the
// main thread; the capture runs on the platform's capture thread and the sends on workers.

#include <desktop/model/activity_feed.hpp>
#include <desktop/model/app_settings.hpp>
#include <desktop/model/background_tasks.hpp>
#include <desktop/model/hotkey_combo.hpp>
#include <desktop/model/selection_panels.hpp>
#include <desktop/model/text_selection_capture.hpp>
#include <desktop/platform/desktop_services.hpp>

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

namespace tarvo::desktop {

class AccountController;

class SelectionController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hotkeyEnabled READ hotkeyEnabled NOTIFY changed)
    Q_PROPERTY(QString hotkeyStatus READ hotkeyStatus NOTIFY changed)
    Q_PROPERTY(bool quickEntryEnabled READ quickEntryEnabled NOTIFY changed)
    Q_PROPERTY(QString quickEntryStatus READ quickEntryStatus NOTIFY changed)
    Q_PROPERTY(bool globalKeysSupported READ globalKeysSupported NOTIFY changed)

public:
    static constexpr std::uint32_t selectionKeyID = 1;
    static constexpr std::uint32_t quickEntryKeyID = 2;
    // Held only while a capture can be undone: the hot key's modifiers with Z.
    static constexpr std::uint32_t undoKeyID = 3;
    // The keys as a desktop that assigns keys itself is offered them.
    static std::vector<DesktopShortcut> desktopShortcuts();

    // Registers the keys that are switched on and takes over the quick-entry panel's sends.
    SelectionController(DesktopServices services, AppSettings settings,
                        std::chrono::milliseconds undoWindow, SelectionToastPanel& toast,
                        QuickEntryPanel& quickEntry, const AccountController& account,
                        ActivityFeed& feed, QObject* parent = nullptr);
    ~SelectionController() override;

    bool hotkeyEnabled() const { return hotkeyEnabled_; }
    QString hotkeyStatus() const { return hotkeyStatus_; }
    HotkeyCombo hotkeyCombo() const { return hotkeyCombo_; }
    bool quickEntryEnabled() const { return quickEntryEnabled_; }
    QString quickEntryStatus() const { return quickEntryStatus_; }
    // False once the session has said it lets no program set global keys.
    bool globalKeysSupported() const { return globalKeysSupported_; }
    // Where the desktop assigns the keys: what it says of them.
    std::optional<DesktopKeys> desktopKeys() const { return services_.hotkeys.desktopKeys(); }
    // The key of `id` as the person presses it; absent while the desktop has assigned none.
    std::optional<QString> keyName(std::uint32_t id, char letter) const;
    // The line under a key the desktop assigns; empty where the app sets keys itself.
    QString desktopKeyLine(std::uint32_t id) const;
    // Why the keys don't work here and the commands to bind instead; empty while they work.
    QString keysNote() const;
    std::size_t runningTaskCount() const { return tasks_->runningCount(); }

    // The quit path: the toast goes and a selection still inside its undo window is sent at once.
    // Gives the send to wait for, if one is pending.
    std::optional<TaskHandle> sendPendingNow();

public slots:
    // The selection hot key: reads the selection off the main thread, shows it with Undo and
    // sends it when the undo window has passed.
    void captureSelection();
    void undoSelection();
    void showQuickEntry();
    void setSelectionHotkeyEnabled(bool on);
    void setQuickEntryEnabled(bool on);
    void setHotkeyCombo(tarvo::desktop::HotkeyCombo combo);
    // Opens the desktop's own dialog for the app's keys, where it has one.
    void configureDesktopKeys();

signals:
    void changed();

private:
    struct Pending;
    struct SelectionSend;
    using CaptureResult =
        std::expected<TextSelectionCapture::Result, TextSelectionCapture::Failure>;

    void registerSelectionHotkey();
    void registerQuickEntryHotkey();
    // The undo key for the undo window now starting; its name when the desktop gave it.
    std::optional<QString> holdUndoKey();
    void setHotkeyStatus(const QString& status);
    QString registrationProblem(HotkeyRegistration registration, char letter);
    void finishCapture(const CaptureResult& result);
    void sendAfterUndoWindow(const TextSelectionCapture::Result& result);
    void finishSelectionSend(const SelectionSend& sent);
    void sendQuickEntry(const std::string& text, std::function<void(QuickEntryOutcome)> done);
    template <typename T> void publish(T& field, T value);

    DesktopServices services_;
    AppSettings settings_;
    std::chrono::milliseconds undoWindow_;
    SelectionToastPanel& toast_;
    QuickEntryPanel& quickEntry_;
    const AccountController& account_;
    ActivityFeed& feed_;

    bool hotkeyEnabled_;
    QString hotkeyStatus_;
    HotkeyCombo hotkeyCombo_;
    bool quickEntryEnabled_;
    QString quickEntryStatus_;
    bool globalKeysSupported_ = true;
    std::unique_ptr<GlobalHotkey> hotkey_;
    std::unique_ptr<GlobalHotkey> quickEntryHotkey_;
    std::unique_ptr<GlobalHotkey> undoHotkey_;
    QTimer undoWindowEnd_;
    bool capturing_ = false;
    // The delayed send of the last selection.
    std::unique_ptr<Pending> pending_;
    // Last, so it goes first: running tasks stop before any field they report to goes away.
    std::unique_ptr<BackgroundTasks> tasks_;
};

} // namespace tarvo::desktop
