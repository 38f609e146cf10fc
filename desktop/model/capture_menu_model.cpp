#include <desktop/model/capture_menu_model.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/platform/desktop_log.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

// The outbox's last error as the menu says it: the transport's own text stays in the log.
QString waitingReason(const std::string& lastError) {
    const auto is = [&](CaptureError::Kind kind) {
        return lastError.starts_with(std::to_string(static_cast<int>(kind)) + " ");
    };
    if (is(CaptureError::Kind::network)) {
        desktopLog(LogCategory::menu).info("outbox: " + lastError);
        return qtText(DesktopUploader::unreachableReason);
    }
    if (is(CaptureError::Kind::missingToken)) {
        return qtText(DesktopUploader::signInReason);
    }
    return qtText(lastError);
}

} // namespace

struct CaptureMenuModel::Loaded {
    AccountController::Stored account;
    int outboxCount = 0;
};

struct CaptureMenuModel::Drained {
    int delivered = 0;
    int outboxCount = 0;
    std::optional<std::string> lastError;
};

CaptureMenuModel::CaptureMenuModel(DesktopServices services, DesktopPanels panels,
                                   AppSettings settings, Timing timing, QObject* parent)
    : QObject(parent), services_(services), settings_(std::move(settings)), timing_(timing),
      feed_(services_.notifier),
      screenshots_(services_, settings_, panels.confirm, account_, feed_),
      selection_(services_, settings_, timing_.undoWindow, panels.toast, panels.quickEntry,
                 account_, feed_),
      launchAtLogin_(services_.loginItem.isEnabled()),
      tasks_(std::make_unique<BackgroundTasks>(*this)) {
    start();
}

CaptureMenuModel::CaptureMenuModel(DesktopServices services, DesktopPanels panels, QObject* parent)
    : CaptureMenuModel(services, panels, AppSettings(), Timing(), parent) {}

CaptureMenuModel::~CaptureMenuModel() = default;

std::size_t CaptureMenuModel::runningTaskCount() const {
    return tasks_->runningCount() + account_.runningTaskCount() + screenshots_.runningTaskCount() +
           selection_.runningTaskCount();
}

// Start-up: the settings, consent and login item are read by the constructors; the keyring and the
// outbox by a task, and what depends on them (watching, the consent question) follows its result.
void CaptureMenuModel::start() {
    if (!settings_.preferences().isAvailable()) {
        desktopLog(LogCategory::menu)
            .error("The settings store " +
                   settings_.preferences().databasePath().value_or("").string() +
                   " cannot be opened; the defaults are used and changes are not kept.");
    }
    connect(&account_, &AccountController::tokenAvailable, this, &CaptureMenuModel::tokenAvailable);
    connect(&account_, &AccountController::signedOut, this, &CaptureMenuModel::signedOut);

    tasks_->run(
        [](std::stop_token) {
            Loaded loaded{AccountController::readStored(),
                          static_cast<int>(CaptureOutbox::pendingCount())};
            TokenStore::hardenStorage();
            return loaded;
        },
        [this](Loaded loaded) { applyLoaded(loaded); });

    drainOutbox(false);
    outboxTimer_.setInterval(timing_.outboxInterval);
    connect(&outboxTimer_, &QTimer::timeout, this, [this] { drainOutbox(false); });
    outboxTimer_.start();
}

void CaptureMenuModel::applyLoaded(const Loaded& loaded) {
    account_.apply(loaded.account);
    feed_.setOutboxCount(loaded.outboxCount);
    screenshots_.start();
    if (account_.hasToken()) {
        AIConsent::askIfUndecided();
    }
    loaded_ = true;
    emit changed();
}

void CaptureMenuModel::tokenAvailable() {
    screenshots_.resume();
    drainOutbox(true);
}

void CaptureMenuModel::signedOut(int outboxCount) {
    screenshots_.signedOut();
    feed_.setOutboxCount(outboxCount);
    feed_.setStatus(QStringLiteral("Signed out"));
}

void CaptureMenuModel::drainOutbox(bool force) {
    tasks_->run(
        [force](std::stop_token stop) {
            Drained drained;
            if (CaptureOutbox::pendingCount() < 1) {
                return drained;
            }
            const CaptureClient client(Auth::defaultProvider());
            drained.delivered = CaptureOutbox::flush(client, force, std::nullopt, stop);
            drained.outboxCount = static_cast<int>(CaptureOutbox::pendingCount());
            if (const auto summary = CaptureOutbox::summary()) {
                drained.lastError = summary->lastError;
            }
            return drained;
        },
        [this](Drained drained) { finishDrain(drained); });
}

void CaptureMenuModel::refreshOutboxCount() {
    tasks_->run([](std::stop_token) { return static_cast<int>(CaptureOutbox::pendingCount()); },
                [this](int count) {
                    feed_.setOutboxCount(count);
                    screenshots_.outboxCounted(count);
                });
}

void CaptureMenuModel::finishDrain(const Drained& drained) {
    feed_.setOutboxCount(drained.outboxCount);
    if (drained.delivered >= 1) {
        feed_.addSent(drained.delivered);
        feed_.setLastEvent(QStringLiteral("Sent %1 capture%2 that were waiting")
                               .arg(drained.delivered)
                               .arg(drained.delivered == 1 ? "" : "s"));
    } else if (drained.lastError) {
        feed_.setLastEvent(QStringLiteral("%1 waiting — %2")
                               .arg(drained.outboxCount)
                               .arg(waitingReason(*drained.lastError)));
    }
    screenshots_.outboxCounted(drained.outboxCount);
}

void CaptureMenuModel::setLaunchAtLogin(bool on) {
    const auto changed = services_.loginItem.setEnabled(on);
    launchAtLoginStatus_ =
        changed ? QString() : "Couldn’t change login items: " + qtText(changed.error());
    launchAtLogin_ = services_.loginItem.isEnabled();
    emit this->changed();
}

void CaptureMenuModel::finishPendingOnQuit() {
    if (quitting_) {
        return;
    }
    quitting_ = true;
    outboxTimer_.stop();
    const auto announce = [this] {
        if (!std::exchange(quitAnnounced_, true)) {
            emit readyToQuit();
        }
    };
    const auto pending = selection_.sendPendingNow();
    if (!pending) {
        announce();
        return;
    }
    pending->whenFinished(announce);
    QTimer::singleShot(timing_.quitWaitLimit, this, announce);
}

} // namespace tarvo::desktop
