// The screenshot side of the menu model: the automatic-capture switch, the watcher, the queue of
// shots waiting for the person, and the uploads.

#include <desktop/model/capture_menu_model.hpp>

#include <desktop/model/screenshot_folder.hpp>
#include <desktop/model/screenshot_watcher.hpp>

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/text.hpp>

#include <QPointer>

#include <algorithm>

namespace tarvo::desktop {

using namespace capturekit;
using Route = DesktopUploader::Route;
using Outcome = DesktopUploader::Outcome;

namespace {

const Logger& screenshotLog() {
    static const Logger logger(application::identifier(), "selection");
    return logger;
}

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// What an upload brings back to the main thread.
struct UploadReport {
    Outcome outcome;
    int outboxCount = -1; // queued only
};

} // namespace

std::filesystem::path CaptureMenuModel::watchedFolder() const {
    return screenshotFolder(settings_.folderOverride());
}

QString CaptureMenuModel::watchedFolderName() const {
    std::filesystem::path folder = watchedFolder().lexically_normal();
    if (folder.filename().empty()) {
        folder = folder.parent_path(); // written with a trailing slash
    }
    return qt(text::validUTF8(folder.filename().native()));
}

// The status between uploads: "Watching" only while a watcher runs.
QString CaptureMenuModel::idleStatus() const {
    if (watcher_) {
        return "Watching " + watchedFolderName();
    }
    return isEnabled_ && !hasToken_ ? QStringLiteral("Sign in to start") : QStringLiteral("Off");
}

void CaptureMenuModel::attachConfirmPanel(ScreenshotConfirmPanel& panel) {
    confirmPanel_ = &panel;
}

void CaptureMenuModel::setAutoCapture(bool on) {
    settings_.persistAutoCapture(on);
    publish(isEnabled_, on, &CaptureMenuModel::isEnabledChanged);
    if (on) {
        startWatching();
    } else {
        stopWatching();
    }
}

void CaptureMenuModel::setConfirmBeforeSending(bool on) {
    settings_.setConfirmBeforeSending(on);
    publish(confirmBeforeSending_, on, &CaptureMenuModel::confirmBeforeSendingChanged);
}

void CaptureMenuModel::startWatching() {
    if (!hasToken_) {
        publish(status_, QStringLiteral("Sign in to start"), &CaptureMenuModel::statusChanged);
        return;
    }
    const QPointer<CaptureMenuModel> self(this);
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
    const std::filesystem::path folder = watchedFolder();
    std::vector<DetectedScreenshot> backlog;
    const auto switchedOn = settings_.autoCaptureEnabledAt();
    for (auto& shot : watcher->scanExisting(folder)) {
        if (switchedOn && shot.createdAt >= *switchedOn && !settings_.wasSent(shot.fingerprint)) {
            backlog.push_back(std::move(shot));
        }
    }
    watcher->start(folder);
    watcher_ = std::move(watcher);
    publish(status_, idleStatus(), &CaptureMenuModel::statusChanged);
    std::ranges::stable_sort(backlog, {}, &DetectedScreenshot::createdAt);
    for (const auto& shot : backlog) {
        handleDetected(shot);
    }
}

void CaptureMenuModel::stopWatching() {
    watcher_.reset();
    if (!pendingQueue_.empty()) {
        pendingQueue_.clear();
        emit pendingQueueChanged();
        emit changed();
    }
    if (confirmPanel_ != nullptr) {
        confirmPanel_->hide();
    }
    publish(status_, QStringLiteral("Off"), &CaptureMenuModel::statusChanged);
}

void CaptureMenuModel::handleDetected(const DetectedScreenshot& shot) {
    if (!confirmBeforeSending_) {
        uploadShot(shot, std::nullopt);
        return;
    }
    const bool queued = std::ranges::any_of(pendingQueue_, [&](const DetectedScreenshot& waiting) {
        return waiting.fingerprint == shot.fingerprint;
    });
    if (!queued) {
        pendingQueue_.push_back(shot);
        emit pendingQueueChanged();
        emit changed();
        refreshQueue();
    }
}

void CaptureMenuModel::uploadShot(const DetectedScreenshot& shot,
                                  const std::optional<Route>& route) {
    const QString name = qt(shot.fileName());
    publish(status_, "Sending " + name + "…", &CaptureMenuModel::statusChanged);
    tasks_->run(
        [settings = settings_, shot, route](std::stop_token stop) {
            const CaptureClient client(Auth::defaultProvider());
            const DesktopUploader uploader(client, settings);
            UploadReport report{uploader.uploadScreenshot(shot, route, stop), -1};
            if (report.outcome.kind == Outcome::Kind::queued) {
                report.outboxCount = static_cast<int>(CaptureOutbox::pendingCount());
            }
            return report;
        },
        [this, name, route](UploadReport report) {
            const Outcome& outcome = report.outcome;
            const QString reason = qt(outcome.reason);
            switch (outcome.kind) {
            case Outcome::Kind::sent:
                screenshotLog().info("sent ok");
                publish(lastEvent_,
                        route && route->kind == Route::Kind::rapportAvatar
                            ? "Sent as " + qt(route->person) +
                                  "'s photo — rapport will confirm the match"
                            : "Sent " + name,
                        &CaptureMenuModel::lastEventChanged);
                publish(sentCount_, sentCount_ + 1, &CaptureMenuModel::sentCountChanged);
                break;
            case Outcome::Kind::skipped:
                publish(lastEvent_, "Skipped " + name + " — " + reason,
                        &CaptureMenuModel::lastEventChanged);
                break;
            case Outcome::Kind::queued:
                publish(lastEvent_, "Saved " + name + " to send later — " + reason,
                        &CaptureMenuModel::lastEventChanged);
                publish(outboxCount_, report.outboxCount, &CaptureMenuModel::outboxCountChanged);
                break;
            case Outcome::Kind::failed:
                publish(lastEvent_, "Failed " + name + " — " + reason,
                        &CaptureMenuModel::lastEventChanged);
                break;
            }
            publish(status_, uploadStatus(outcome.kind), &CaptureMenuModel::statusChanged);
        });
}

// The status after an upload: what went wrong, or the watching line while a watcher runs.
QString CaptureMenuModel::uploadStatus(DesktopUploader::Outcome::Kind kind) const {
    switch (kind) {
    case Outcome::Kind::queued:
        return QStringLiteral("Waiting to send");
    case Outcome::Kind::failed:
        return QStringLiteral("Last upload failed");
    case Outcome::Kind::sent:
    case Outcome::Kind::skipped:
        break;
    }
    return idleStatus();
}

void CaptureMenuModel::refreshQueue() {
    if (pendingQueue_.empty()) {
        if (confirmPanel_ != nullptr) {
            confirmPanel_->hide();
        }
        publish(status_, idleStatus(), &CaptureMenuModel::statusChanged);
        return;
    }
    const auto count = static_cast<int>(pendingQueue_.size());
    publish(status_, QStringLiteral("Waiting on you: %1 to review").arg(count),
            &CaptureMenuModel::statusChanged);
    if (confirmPanel_ != nullptr) {
        const DetectedScreenshot& first = pendingQueue_.front();
        confirmPanel_->show(first, count - 1, first.frontmostWindowTitle);
    }
}

std::optional<DetectedScreenshot> CaptureMenuModel::takeFirstPending() {
    if (pendingQueue_.empty()) {
        return std::nullopt;
    }
    DetectedScreenshot first = pendingQueue_.front();
    pendingQueue_.erase(pendingQueue_.begin());
    emit pendingQueueChanged();
    emit changed();
    return first;
}

void CaptureMenuModel::sendPending(const Route& route) {
    if (const auto shot = takeFirstPending()) {
        uploadShot(*shot, route);
        refreshQueue();
    }
}

void CaptureMenuModel::skipPending() {
    if (const auto shot = takeFirstPending()) {
        settings_.recordSent(shot->fingerprint);
        publish(lastEvent_, "Skipped " + qt(shot->fileName()), &CaptureMenuModel::lastEventChanged);
        refreshQueue();
    }
}

void CaptureMenuModel::sendAllPending() {
    const auto shots = std::exchange(pendingQueue_, {});
    emit pendingQueueChanged();
    emit changed();
    for (const auto& shot : shots) {
        uploadShot(shot, std::nullopt);
    }
    refreshQueue();
}

void CaptureMenuModel::skipAllPending() {
    for (const auto& shot : pendingQueue_) {
        settings_.recordSent(shot.fingerprint);
    }
    publish(lastEvent_, QStringLiteral("Skipped %1").arg(pendingQueue_.size()),
            &CaptureMenuModel::lastEventChanged);
    pendingQueue_.clear();
    emit pendingQueueChanged();
    emit changed();
    refreshQueue();
}

void CaptureMenuModel::openScreenshotFolder() {
    services_.folderOpener.openFolder(watchedFolder());
}

} // namespace tarvo::desktop
