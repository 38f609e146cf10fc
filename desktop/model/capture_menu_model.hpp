#pragma once

// The tray app's coordinator: it starts the account, screenshot and selection controllers in
// order, flushes the outbox on a timer, switches the login item, and runs the quit path. The
// controllers and the activity feed hold the state the menu shows; the views bind to them.
// Lives on the main thread; blocking calls run in background tasks.

#include <desktop/model/account_controller.hpp>
#include <desktop/model/activity_feed.hpp>
#include <desktop/model/app_settings.hpp>
#include <desktop/model/background_tasks.hpp>
#include <desktop/model/desktop_panels.hpp>
#include <desktop/model/screenshot_controller.hpp>
#include <desktop/model/selection_controller.hpp>
#include <desktop/platform/desktop_services.hpp>

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

namespace tarvo::desktop {

class CaptureMenuModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY changed)
    Q_PROPERTY(QString launchAtLoginStatus READ launchAtLoginStatus NOTIFY changed)

public:
    struct Timing {
        std::chrono::milliseconds outboxInterval{std::chrono::seconds(300)};
        // How long quitting waits for a pending send.
        std::chrono::milliseconds quitWaitLimit{std::chrono::seconds(8)};
        // How long a captured selection waits for Undo before it is sent.
        std::chrono::milliseconds undoWindow{std::chrono::seconds(6)};
    };

    CaptureMenuModel(DesktopServices services, DesktopPanels panels, AppSettings settings,
                     Timing timing, QObject* parent = nullptr);
    // The application's settings and the standard timing.
    CaptureMenuModel(DesktopServices services, DesktopPanels panels, QObject* parent = nullptr);
    ~CaptureMenuModel() override;

    ActivityFeed& feed() { return feed_; }
    AccountController& account() { return account_; }
    ScreenshotController& screenshots() { return screenshots_; }
    SelectionController& selection() { return selection_; }
    const AppSettings& settings() const { return settings_; }

    bool launchAtLogin() const { return launchAtLogin_; }
    QString launchAtLoginStatus() const { return launchAtLoginStatus_; }
    // Whether the start-up reads of the keyring and the outbox have come back.
    bool isLoaded() const { return loaded_; }
    // Background tasks of the model and its controllers whose results are still to come.
    std::size_t runningTaskCount() const;

public slots:
    void drainOutbox(bool force);
    // Counts the outbox again (the command line may have queued captures meanwhile).
    void refreshOutboxCount();
    void setLaunchAtLogin(bool on);
    // The quit path (the menu's Quit, SIGTERM, SIGINT, the session's end): readyToQuit follows
    // once the pending selection has been sent, or after Timing::quitWaitLimit. The main thread
    // keeps running meanwhile, so the send can finish.
    void finishPendingOnQuit();

signals:
    void changed();
    void readyToQuit();

private:
    struct Loaded;
    struct Drained;

    void start();
    void applyLoaded(const Loaded& loaded);
    void finishDrain(const Drained& drained);
    void tokenAvailable();
    void signedOut(int outboxCount);

    DesktopServices services_;
    AppSettings settings_;
    Timing timing_;
    ActivityFeed feed_;
    AccountController account_;
    ScreenshotController screenshots_;
    SelectionController selection_;

    bool launchAtLogin_ = false;
    QString launchAtLoginStatus_;
    QTimer outboxTimer_;
    bool loaded_ = false;
    bool quitting_ = false;
    bool quitAnnounced_ = false;
    // Last, so it goes first: running tasks stop before any field they report to goes away.
    std::unique_ptr<BackgroundTasks> tasks_;
};

} // namespace tarvo::desktop
