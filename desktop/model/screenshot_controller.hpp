#pragma once

// Screenshots: the automatic-capture switch, the watcher of the screenshot folder, the queue of
// shots waiting for the person in the confirm panel, and the uploads. Lives on the main thread;
// uploads run one at a time on a queue of their own, so however many wait, one image is decoded
// at a time.

#include <desktop/model/activity_feed.hpp>
#include <desktop/model/app_settings.hpp>
#include <desktop/model/background_tasks.hpp>
#include <desktop/model/detected_screenshot.hpp>
#include <desktop/model/screenshot_confirm_panel.hpp>
#include <desktop/model/screenshot_watcher.hpp>
#include <desktop/model/work_queue.hpp>
#include <desktop/platform/desktop_services.hpp>

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo::desktop {

class AccountController;

class ScreenshotController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY changed)
    Q_PROPERTY(bool confirmBeforeSending READ confirmBeforeSending NOTIFY changed)

public:
    using Route = DesktopUploader::Route;

    // Takes over the confirm panel's buttons; watching starts with `start`.
    ScreenshotController(DesktopServices services, AppSettings settings,
                         ScreenshotConfirmPanel& panel, const AccountController& account,
                         ActivityFeed& feed, QObject* parent = nullptr);
    ~ScreenshotController() override;

    // Once the account is known at start-up: watches when the switch is on, else says "Off".
    void start();
    // A device token has become available: watching follows the switch.
    void resume();
    // Sign-out switched capture off (the setting is already stored).
    void signedOut();
    // The outbox was counted: once it is empty, nothing is "Waiting to send" any more.
    void outboxCounted(int count);

    bool isEnabled() const { return isEnabled_; }
    bool confirmBeforeSending() const { return confirmBeforeSending_; }
    // Shots waiting for the person's decision, oldest first.
    const std::vector<DetectedScreenshot>& pendingQueue() const { return pendingQueue_; }
    bool isWatching() const { return watcher_ != nullptr; }
    // The screenshot folder as the settings named it when watching last started, and its last
    // component. Read without touching the settings store.
    const std::filesystem::path& watchedFolder() const { return folder_; }
    QString watchedFolderName() const;
    // The folder as the menu's row shows it ("~/Pictures/Screenshots"), and whether it was chosen
    // in the menu rather than taken from the desktop.
    QString watchedFolderText() const;
    bool hasChosenFolder() const { return hasChosenFolder_; }
    std::size_t runningTaskCount() const { return tasks_->runningCount(); }

    // The watcher's report of a new screenshot: sent at once, or queued for the person.
    void handleDetected(const DetectedScreenshot& shot);

public slots:
    // The menu's switch: stores it (with its switch-on date) and starts or stops watching.
    void setAutoCapture(bool on);
    // Takes effect for the next screenshot; the queue stays as it is.
    void setConfirmBeforeSending(bool on);
    // Shows the first waiting shot in the confirm panel, or hides it when none waits.
    void refreshQueue();
    void sendPending(const tarvo::desktop::DesktopUploader::Route& route);
    void skipPending();
    void sendAllPending();
    void skipAllPending();
    void openScreenshotFolder();
    // "Screenshot folder…" and "Use the desktop's folder": watching moves there at once.
    void chooseFolder(const QString& folder);
    void useDesktopFolder();

signals:
    void changed();

private:
    void startWatching();
    void setFolderOverride(const std::optional<std::string>& folder);
    void stopWatching();
    void uploadShot(const DetectedScreenshot& shot, const std::optional<Route>& route);
    void finishUpload(const DesktopUploader::Report& report, const QString& name,
                      const std::optional<Route>& route);
    QString idleStatus() const;
    QString uploadStatus(DesktopUploader::Outcome::Kind kind) const;
    std::optional<DetectedScreenshot> takeFirstPending();
    void setPendingQueue(std::vector<DetectedScreenshot> queue);

    DesktopServices services_;
    AppSettings settings_;
    ScreenshotConfirmPanel& panel_;
    const AccountController& account_;
    ActivityFeed& feed_;

    bool isEnabled_;
    bool confirmBeforeSending_;
    std::filesystem::path folder_;
    bool hasChosenFolder_ = false;
    std::unique_ptr<ScreenshotWatcher> watcher_;
    std::vector<DetectedScreenshot> pendingQueue_;
    // The uploads' lane; it goes after the tasks, which stop the upload running on it.
    WorkQueue uploads_;
    // Last, so it goes first: running tasks stop before any field they report to goes away.
    std::unique_ptr<BackgroundTasks> tasks_;
};

} // namespace tarvo::desktop
