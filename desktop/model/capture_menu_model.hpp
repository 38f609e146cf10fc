#pragma once

// The controller of the tray app: the state the menu shows, the app's settings, the account, the
// AI-consent answer, the outbox and its timer, and the login item. It lives on the main thread;
// every blocking library call runs in `tasks_` and comes back with a queued call before it
// touches a field. Published fields are properties whose change signals the views bind to;
// optional texts are empty when absent.

#include <desktop/model/app_settings.hpp>
#include <desktop/model/background_tasks.hpp>
#include <desktop/model/desktop_uploader.hpp>
#include <desktop/model/detected_screenshot.hpp>
#include <desktop/model/hotkey_combo.hpp>
#include <desktop/model/quick_entry_outcome.hpp>
#include <desktop/model/screenshot_confirm_panel.hpp>
#include <desktop/model/screenshot_watcher.hpp>
#include <desktop/model/selection_panels.hpp>
#include <desktop/model/text_selection_capture.hpp>
#include <desktop/platform/desktop_services.hpp>

#include <capturekit/platform/notification_center.hpp>

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo::desktop {

class CaptureMenuModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(int sentCount READ sentCount NOTIFY sentCountChanged)
    Q_PROPERTY(QString lastEvent READ lastEvent NOTIFY lastEventChanged)
    Q_PROPERTY(
        bool confirmBeforeSending READ confirmBeforeSending NOTIFY confirmBeforeSendingChanged)
    Q_PROPERTY(bool hasToken READ hasToken NOTIFY hasTokenChanged)
    Q_PROPERTY(QString signedInEmail READ signedInEmail NOTIFY signedInEmailChanged)
    Q_PROPERTY(bool accountBusy READ accountBusy NOTIFY accountBusyChanged)
    Q_PROPERTY(QString accountError READ accountError NOTIFY accountErrorChanged)
    Q_PROPERTY(bool aiDecided READ aiDecided NOTIFY aiDecidedChanged)
    Q_PROPERTY(bool aiGranted READ aiGranted NOTIFY aiGrantedChanged)
    Q_PROPERTY(bool hotkeyEnabled READ hotkeyEnabled NOTIFY hotkeyEnabledChanged)
    Q_PROPERTY(QString hotkeyStatus READ hotkeyStatus NOTIFY hotkeyStatusChanged)
    Q_PROPERTY(bool quickEntryEnabled READ quickEntryEnabled NOTIFY quickEntryEnabledChanged)
    Q_PROPERTY(QString quickEntryStatus READ quickEntryStatus NOTIFY quickEntryStatusChanged)
    Q_PROPERTY(int outboxCount READ outboxCount NOTIFY outboxCountChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(
        QString launchAtLoginStatus READ launchAtLoginStatus NOTIFY launchAtLoginStatusChanged)
    Q_PROPERTY(QString credentialsNote READ credentialsNote NOTIFY credentialsNoteChanged)

public:
    struct Timing {
        std::chrono::milliseconds outboxInterval{std::chrono::seconds(300)};
        // How long quitting waits for a pending send.
        std::chrono::milliseconds quitWaitLimit{std::chrono::seconds(8)};
        // How long a captured selection waits for Undo before it is sent.
        std::chrono::milliseconds undoWindow{std::chrono::seconds(6)};
    };

    CaptureMenuModel(DesktopServices services, AppSettings settings, Timing timing,
                     QObject* parent = nullptr);
    explicit CaptureMenuModel(DesktopServices services, QObject* parent = nullptr);
    ~CaptureMenuModel() override;

    bool isEnabled() const { return isEnabled_; }
    QString status() const { return status_; }
    int sentCount() const { return sentCount_; }
    QString lastEvent() const { return lastEvent_; }
    bool confirmBeforeSending() const { return confirmBeforeSending_; }
    bool hasToken() const { return hasToken_; }
    QString signedInEmail() const { return signedInEmail_; }
    bool accountBusy() const { return accountBusy_; }
    QString accountError() const { return accountError_; }
    bool aiDecided() const { return aiDecided_; }
    bool aiGranted() const { return aiGranted_; }
    bool hotkeyEnabled() const { return hotkeyEnabled_; }
    QString hotkeyStatus() const { return hotkeyStatus_; }
    HotkeyCombo hotkeyCombo() const { return hotkeyCombo_; }
    bool quickEntryEnabled() const { return quickEntryEnabled_; }
    QString quickEntryStatus() const { return quickEntryStatus_; }
    int outboxCount() const { return outboxCount_; }
    bool launchAtLogin() const { return launchAtLogin_; }
    QString launchAtLoginStatus() const { return launchAtLoginStatus_; }
    // Where credentials are kept when that needs saying (a plain file), or why the keyring
    // could not be used.
    QString credentialsNote() const { return credentialsNote_; }

    const AppSettings& settings() const { return settings_; }
    DesktopServices& services() { return services_; }
    // Whether the start-up reads of the keyring and the outbox have come back.
    bool isLoaded() const { return loaded_; }

public slots:
    void signIn(const QString& email, const QString& password);
    void signOut();
    // Reads the token store again; with a token, flushes the outbox by force.
    void reloadToken();
    // Stores a device token typed by hand (trimmed; a blank one is ignored), then reloadToken.
    void saveDeviceToken(const QString& token);
    void drainOutbox(bool force);
    // Counts the outbox again (the command line may have queued captures meanwhile).
    void refreshOutboxCount();
    // The consent panel's answer and the "Use AI on captures" toggle.
    void recordConsent(bool granted);
    void setLaunchAtLogin(bool on);
    // The quit path (the menu's Quit, SIGTERM, SIGINT, the session's end): readyToQuit follows
    // once the pending send has finished, or after Timing::quitWaitLimit. The main thread keeps
    // running meanwhile, so the send can finish.
    void finishPendingOnQuit();

public:
    // The send that quitting waits for (the delayed selection send).
    void setPendingSend(TaskHandle task);
    std::optional<TaskHandle> pendingSend() const { return pendingSend_; }
    BackgroundTasks& tasks() { return *tasks_; }

    // Hot keys, selected text and quick entry (capture_menu_model_hotkeys.cpp).
public slots:
    // The selection hot key: reads the selection off the main thread, shows it with Undo and
    // sends it when the undo window has passed.
    void captureSelection();
    void undoSelection();
    void showQuickEntry();
    void setSelectionHotkeyEnabled(bool on);
    void setQuickEntryEnabled(bool on);
    void setHotkeyCombo(tarvo::desktop::HotkeyCombo combo);

public:
    // The panels the hot keys drive, attached once right after the model is made (the widgets
    // live in the app, the model only calls them). The selection key is registered here; the
    // quick-entry key too, now that its panel exists.
    void attachPanels(SelectionToastPanel& toast, QuickEntryPanel& quickEntry);
    // The quick-entry panel's send; `done` gets the outcome on the main thread.
    void sendQuickEntry(const std::string& text, std::function<void(QuickEntryOutcome)> done);
    bool isCapturing() const { return capturing_; }

    // Screenshots (capture_menu_model_screenshots.cpp).
public slots:
    // The menu's switch: stores it (with its switch-on date) and starts or stops watching.
    void setAutoCapture(bool on);
    // Takes effect for the next screenshot; the queue stays as it is.
    void setConfirmBeforeSending(bool on);
    // Shows the first waiting shot in the confirm panel, or hides it when none waits.
    void refreshQueue();
    void skipPending();
    void sendAllPending();
    void skipAllPending();
    void openScreenshotFolder();

public:
    // The confirm panel, attached once right after the model is made; its four actions call
    // sendPending, skipPending, sendAllPending and skipAllPending.
    void attachConfirmPanel(ScreenshotConfirmPanel& panel);
    void sendPending(const DesktopUploader::Route& route);
    // The watcher's report of a new screenshot: sent at once, or queued for the person.
    void handleDetected(const DetectedScreenshot& shot);
    void uploadShot(const DetectedScreenshot& shot,
                    const std::optional<DesktopUploader::Route>& route);
    // Shots waiting for the person's decision, oldest first.
    const std::vector<DetectedScreenshot>& pendingQueue() const { return pendingQueue_; }
    bool isWatching() const { return watcher_ != nullptr; }
    // The screenshot folder as the settings name it now, and its last component.
    std::filesystem::path watchedFolder() const;
    QString watchedFolderName() const;

signals:
    void pendingQueueChanged();
    void isEnabledChanged();
    void statusChanged();
    void sentCountChanged();
    void lastEventChanged();
    void confirmBeforeSendingChanged();
    void hasTokenChanged();
    void signedInEmailChanged();
    void accountBusyChanged();
    void accountErrorChanged();
    void aiDecidedChanged();
    void aiGrantedChanged();
    void hotkeyEnabledChanged();
    void hotkeyStatusChanged();
    void hotkeyComboChanged();
    void quickEntryEnabledChanged();
    void quickEntryStatusChanged();
    void outboxCountChanged();
    void launchAtLoginChanged();
    void launchAtLoginStatusChanged();
    void credentialsNoteChanged();
    // Any published field changed.
    void changed();

    void loadedChanged();
    // "AIConsent.needsDecision": the consent panel is to be shown.
    void consentNeeded();
    // A drain of the outbox has come back (with or without deliveries).
    void outboxDrained();
    void readyToQuit();

private:
    struct Loaded;
    struct SignInResult;
    struct Drained;

    void start();
    void observeNotifications();
    void applyLoaded(const Loaded& loaded);
    void finishSignIn(const SignInResult& result);
    void finishSignOut(int outboxCount);
    void finishDrain(const Drained& drained);
    void refreshConsent();
    void refreshAccountEmail();
    void startWatching();
    void stopWatching();

    template <typename T> void publish(T& field, T value, void (CaptureMenuModel::*signal)());

    struct SelectionSend;
    void registerSelectionHotkey();
    void registerQuickEntryHotkey();
    QString registrationProblem(char letter) const;
    void finishCapture(
        const std::expected<TextSelectionCapture::Result, TextSelectionCapture::Failure>& result);
    void sendAfterUndoWindow(const TextSelectionCapture::Result& result);
    void finishSelectionSend(const SelectionSend& sent);
    // Quitting inside the undo window puts the selection in the outbox instead of losing it.
    void queueSelectionOnQuit();

    QString idleStatus() const;
    QString uploadStatus(DesktopUploader::Outcome::Kind kind) const;
    std::optional<DetectedScreenshot> takeFirstPending();

    DesktopServices services_;
    AppSettings settings_;
    Timing timing_;

    bool isEnabled_ = false;
    QString status_ = QStringLiteral("Off");
    int sentCount_ = 0;
    QString lastEvent_;
    bool confirmBeforeSending_ = false;
    bool hasToken_ = false;
    QString signedInEmail_;
    bool accountBusy_ = false;
    QString accountError_;
    bool aiDecided_ = false;
    bool aiGranted_ = false;
    bool hotkeyEnabled_ = true;
    QString hotkeyStatus_;
    HotkeyCombo hotkeyCombo_ = HotkeyCombo::controlOption;
    bool quickEntryEnabled_ = true;
    QString quickEntryStatus_;
    std::optional<TaskHandle> pendingSend_;
    int outboxCount_ = 0;
    bool launchAtLogin_ = false;
    QString launchAtLoginStatus_;
    QTimer outboxTimer_;
    QString credentialsNote_;

    std::unique_ptr<GlobalHotkey> hotkey_;
    std::unique_ptr<GlobalHotkey> quickEntryHotkey_;
    SelectionToastPanel* toast_ = nullptr;
    QuickEntryPanel* quickEntry_ = nullptr;
    bool capturing_ = false;
    // Set by the quit path for the pending selection send: queue instead of dropping.
    std::shared_ptr<std::atomic<bool>> queuePendingOnStop_;

    std::unique_ptr<ScreenshotWatcher> watcher_;
    std::vector<DetectedScreenshot> pendingQueue_;
    ScreenshotConfirmPanel* confirmPanel_ = nullptr;

    bool loaded_ = false;
    bool quitting_ = false;
    bool quitAnnounced_ = false;

    // Notification observers hop to the main thread through this; see observeNotifications.
    struct Relay;
    std::shared_ptr<Relay> relay_;
    std::vector<capturekit::NotificationCenter::Observation> observations_;
    // Last, so it goes first: running tasks stop before any field they report to goes away.
    std::unique_ptr<BackgroundTasks> tasks_;
};

template <typename T>
void CaptureMenuModel::publish(T& field, T value, void (CaptureMenuModel::*signal)()) {
    if (field == value) {
        return;
    }
    field = std::move(value);
    emit(this->*signal)();
    emit changed();
}

} // namespace tarvo::desktop
