#include <desktop/model/screenshot_controller.hpp>

#include <desktop/model/account_controller.hpp>
#include <desktop/model/qt_text.hpp>
#include <desktop/model/screenshot_folder.hpp>
#include <desktop/platform/desktop_log.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/text.hpp>

#include <QPointer>

#include <algorithm>

namespace tarvo::desktop {

using namespace capturekit;
using Kind = DesktopUploader::Outcome::Kind;

namespace {

const QString waitingToSend = QStringLiteral("Waiting to send");
// Off says what is off: the hot keys work all the same.
const QString screenshotsOff = QStringLiteral("Screenshots off");

} // namespace

ScreenshotController::ScreenshotController(DesktopServices services, AppSettings settings,
                                           ScreenshotConfirmPanel& panel,
                                           const AccountController& account, ActivityFeed& feed,
                                           QObject* parent)
    : QObject(parent), services_(services), settings_(std::move(settings)), panel_(panel),
      account_(account), feed_(feed), isEnabled_(settings_.autoCaptureEnabled()),
      confirmBeforeSending_(settings_.confirmBeforeSending()),
      folder_(screenshotFolder(settings_.folderOverride())),
      hasChosenFolder_(settings_.folderOverride().has_value()),
      tasks_(std::make_unique<BackgroundTasks>(*this)) {
    const QPointer<ScreenshotController> self(this);
    const auto call = [self](void (ScreenshotController::*action)()) {
        return [self, action] {
            if (self) {
                (self->*action)();
            }
        };
    };
    panel_.setActions({
        .onSend =
            [self](const Route& route) {
                if (self) {
                    self->sendPending(route);
                }
            },
        .onSkip = call(&ScreenshotController::skipPending),
        .onSendAll = call(&ScreenshotController::sendAllPending),
        .onSkipAll = call(&ScreenshotController::skipAllPending),
    });
}

ScreenshotController::~ScreenshotController() = default;

void ScreenshotController::start() {
    if (isEnabled_) {
        startWatching();
    } else {
        feed_.setStatus(screenshotsOff);
    }
}

void ScreenshotController::resume() {
    if (isEnabled_) {
        startWatching();
    }
}

void ScreenshotController::signedOut() {
    if (std::exchange(isEnabled_, false)) {
        emit changed();
    }
    stopWatching();
}

void ScreenshotController::outboxCounted(int count) {
    if (count == 0 && feed_.status() == waitingToSend) {
        feed_.setStatus(idleStatus());
    }
}

QString ScreenshotController::watchedFolderName() const {
    std::filesystem::path folder = folder_.lexically_normal();
    if (folder.filename().empty()) {
        folder = folder.parent_path(); // written with a trailing slash
    }
    return qtText(text::validUTF8(folder.filename().native()));
}

// The status between uploads: "Watching" only while a watcher runs.
QString ScreenshotController::idleStatus() const {
    if (watcher_) {
        std::error_code error;
        return "Watching " + watchedFolderName() +
               (std::filesystem::is_directory(folder_, error)
                    ? QString()
                    : QStringLiteral(" (the folder isn’t there yet)"));
    }
    return isEnabled_ && !account_.hasToken() ? QStringLiteral("Sign in to start") : screenshotsOff;
}

void ScreenshotController::setAutoCapture(bool on) {
    settings_.persistAutoCapture(on);
    if (std::exchange(isEnabled_, on) != on) {
        emit changed();
    }
    if (on) {
        startWatching();
    } else {
        stopWatching();
    }
}

void ScreenshotController::setConfirmBeforeSending(bool on) {
    settings_.setConfirmBeforeSending(on);
    if (std::exchange(confirmBeforeSending_, on) != on) {
        emit changed();
    }
}

void ScreenshotController::startWatching() {
    if (!account_.hasToken()) {
        feed_.setStatus(QStringLiteral("Sign in to start"));
        return;
    }
    const QPointer<ScreenshotController> self(this);
    auto watcher = std::make_unique<ScreenshotWatcher>(
        [self](const DetectedScreenshot& shot) {
            if (self) {
                self->handleDetected(shot);
            }
        },
        [&frontmost = services_.frontmostApp]() -> std::optional<std::string> {
            const auto window = frontmost.active();
            return window ? cleanWindowTitle(window->title, window->name) : std::nullopt;
        });
    connect(watcher.get(), &ScreenshotWatcher::folderPresenceChanged, this, [this] {
        if (feed_.status().startsWith(QStringLiteral("Watching "))) {
            feed_.setStatus(idleStatus());
        }
    });
    folder_ = screenshotFolder(settings_.folderOverride());
    std::vector<DetectedScreenshot> backlog;
    const auto switchedOn = settings_.autoCaptureEnabledAt();
    for (auto& shot : watcher->scanExisting(folder_)) {
        if (switchedOn && shot.createdAt >= *switchedOn && !settings_.wasSent(shot.fingerprint)) {
            backlog.push_back(std::move(shot));
        }
    }
    watcher->start(folder_);
    watcher_ = std::move(watcher);
    feed_.setStatus(idleStatus());
    std::ranges::stable_sort(backlog, takenBefore);
    for (const auto& shot : backlog) {
        handleDetected(shot);
    }
}

void ScreenshotController::stopWatching() {
    watcher_.reset();
    setPendingQueue({});
    panel_.hide();
    feed_.setStatus(screenshotsOff);
}

void ScreenshotController::setPendingQueue(std::vector<DetectedScreenshot> queue) {
    if (queue != pendingQueue_) {
        pendingQueue_ = std::move(queue);
        emit changed();
    }
}

void ScreenshotController::handleDetected(const DetectedScreenshot& shot) {
    if (!confirmBeforeSending_) {
        uploadShot(shot, std::nullopt);
        return;
    }
    const bool queued = std::ranges::any_of(pendingQueue_, [&](const DetectedScreenshot& waiting) {
        return waiting.fingerprint == shot.fingerprint;
    });
    if (!queued) {
        pendingQueue_.push_back(shot);
        emit changed();
        refreshQueue();
    }
}

void ScreenshotController::uploadShot(const DetectedScreenshot& shot,
                                      const std::optional<Route>& route) {
    const QString name = qtText(shot.fileName());
    feed_.setStatus("Sending " + name + "…");
    tasks_->runOn(
        uploads_,
        [settings = settings_, shot, route](std::stop_token stop) {
            return DesktopUploader::sendWithFreshClient(settings, [&](const auto& uploader) {
                return uploader.uploadScreenshot(shot, route, stop);
            });
        },
        [this, name, route](DesktopUploader::Report report) { finishUpload(report, name, route); });
}

void ScreenshotController::finishUpload(const DesktopUploader::Report& report, const QString& name,
                                        const std::optional<Route>& route) {
    const bool avatar = route && route->kind == Route::Kind::rapportAvatar;
    if (report.outcome.kind == Kind::sent) {
        desktopLog(LogCategory::selection).info("sent ok");
    }
    feed_.report(report, {.name = name,
                          .sentEvent = avatar ? "Sent as " + qtText(route->person) +
                                                    "'s photo — rapport will confirm the match"
                                              : "Sent " + name});
    // Once watching has stopped (switched off, signed out), the status says so and stays.
    if (watcher_) {
        feed_.setStatus(uploadStatus(report.outcome.kind));
    }
}

// The status after an upload: what went wrong, or the watching line.
QString ScreenshotController::uploadStatus(Kind kind) const {
    switch (kind) {
    case Kind::queued:
        return waitingToSend;
    case Kind::failed:
        return QStringLiteral("Last upload failed");
    case Kind::sent:
    case Kind::skipped:
        break;
    }
    return idleStatus();
}

void ScreenshotController::refreshQueue() {
    if (pendingQueue_.empty()) {
        panel_.hide();
        feed_.setStatus(idleStatus());
        return;
    }
    const auto count = static_cast<int>(pendingQueue_.size());
    feed_.setStatus(QStringLiteral("Waiting on you: %1 to review").arg(count));
    const DetectedScreenshot& first = pendingQueue_.front();
    panel_.show(first, count - 1, first.frontmostWindowTitle);
}

std::optional<DetectedScreenshot> ScreenshotController::takeFirstPending() {
    if (pendingQueue_.empty()) {
        return std::nullopt;
    }
    DetectedScreenshot first = pendingQueue_.front();
    pendingQueue_.erase(pendingQueue_.begin());
    emit changed();
    return first;
}

void ScreenshotController::sendPending(const Route& route) {
    if (const auto shot = takeFirstPending()) {
        uploadShot(*shot, route);
        refreshQueue();
    }
}

void ScreenshotController::skipPending() {
    if (const auto shot = takeFirstPending()) {
        settings_.recordSent(shot->fingerprint);
        feed_.setLastEvent("Skipped " + qtText(shot->fileName()));
        refreshQueue();
    }
}

void ScreenshotController::sendAllPending() {
    const auto shots = std::exchange(pendingQueue_, {});
    emit changed();
    for (const auto& shot : shots) {
        uploadShot(shot, std::nullopt);
    }
    refreshQueue();
}

void ScreenshotController::skipAllPending() {
    for (const auto& shot : pendingQueue_) {
        settings_.recordSent(shot.fingerprint);
    }
    feed_.setLastEvent(QStringLiteral("Skipped %1").arg(pendingQueue_.size()));
    setPendingQueue({});
    refreshQueue();
}

QString ScreenshotController::watchedFolderText() const {
    return qtText(displayedFolder(folder_)) +
           (screenshotFolderExists(folder_) ? QString() : QStringLiteral(" (not there yet)"));
}

void ScreenshotController::chooseFolder(const QString& folder) {
    if (!folder.isEmpty()) {
        setFolderOverride(folder.toStdString());
    }
}

void ScreenshotController::useDesktopFolder() {
    setFolderOverride(std::nullopt);
}

void ScreenshotController::setFolderOverride(const std::optional<std::string>& folder) {
    settings_.setFolderOverride(folder);
    hasChosenFolder_ = folder.has_value();
    folder_ = screenshotFolder(settings_.folderOverride());
    emit changed();
    if (watcher_) {
        startWatching(); // watching moves to the new folder
    }
}

void ScreenshotController::openScreenshotFolder() {
    std::error_code error;
    if (!std::filesystem::is_directory(folder_, error)) {
        feed_.setLastEvent("Couldn’t open " + watchedFolderName() +
                           " — the folder isn’t there yet");
    } else if (!services_.folderOpener.openFolder(folder_)) {
        feed_.setLastEvent("Couldn’t open " + watchedFolderName() +
                           " — no file manager is set up to show folders");
    }
}

} // namespace tarvo::desktop
