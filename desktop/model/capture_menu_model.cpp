#include <desktop/model/capture_menu_model.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/device_token_minter.hpp>
#include <capturekit/account/platform_words.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/text.hpp>

#include <QMetaObject>

#include <mutex>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

QString qt(const std::optional<std::string>& text) {
    return text ? QString::fromStdString(*text) : QString();
}

const Logger& log() {
    static const Logger logger(application::identifier(), "menu");
    return logger;
}

// The token store as the menu sees it: a token that is not blank, or why the store cannot say.
std::expected<bool, SecretStoreError> storedTokenPresent() {
    const auto stored = TokenStore::item().lookup();
    if (!stored) {
        return std::unexpected(stored.error());
    }
    return *stored && text::isValidUTF8(**stored) && !text::isBlank(**stored);
}

// The stored session's e-mail, read without starting the sign-in machinery (and its HTTP stack).
std::optional<std::string> storedEmail() {
    auto session = SessionStore::read();
    return session ? std::move(session->email) : std::nullopt;
}

std::optional<std::string> credentialsNoteFor(const std::optional<SecretStoreError>& problem) {
    if (problem) {
        return problem->description();
    }
    if (SecretStore::usesPlainFile()) {
        return "Credentials are stored in a plain file (TARVO_SECRET_STORE=file).";
    }
    return std::nullopt;
}

} // namespace

struct CaptureMenuModel::Loaded {
    bool hasToken = false;
    std::optional<std::string> email;
    int outboxCount = 0;
    std::optional<std::string> credentialsNote;
};

struct CaptureMenuModel::SignInResult {
    std::optional<std::string> email; // absent when the password grant failed
    std::optional<std::string> error;
    bool hasToken = false;
};

struct CaptureMenuModel::Drained {
    int delivered = 0;
    int outboxCount = 0;
    std::optional<std::string> lastError;
};

// Notification observers run on the posting thread, which may be a worker; they hand the call
// to the model's thread through this relay, which the model disconnects before it goes.
struct CaptureMenuModel::Relay {
    std::mutex mutex;
    CaptureMenuModel* model = nullptr;

    template <typename F> void post(F call) {
        std::lock_guard lock(mutex);
        if (model != nullptr) {
            QMetaObject::invokeMethod(model, std::move(call), Qt::QueuedConnection);
        }
    }
};

CaptureMenuModel::CaptureMenuModel(DesktopServices services, QObject* parent)
    : CaptureMenuModel(services, AppSettings(), Timing(), parent) {}

CaptureMenuModel::CaptureMenuModel(DesktopServices services, AppSettings settings, Timing timing,
                                   QObject* parent)
    : QObject(parent), services_(services), settings_(std::move(settings)), timing_(timing),
      relay_(std::make_shared<Relay>()), tasks_(std::make_unique<BackgroundTasks>(*this)) {
    start();
}

CaptureMenuModel::~CaptureMenuModel() {
    std::lock_guard lock(relay_->mutex);
    relay_->model = nullptr;
}

// Start-up: the settings, consent and login item are read here; the keyring and the outbox are
// read by a task, and what depends on them (watching, the consent question) follows its result.
void CaptureMenuModel::start() {
    if (!settings_.preferences().isAvailable()) {
        log().error("The settings store " +
                    settings_.preferences().databasePath().value_or("").string() +
                    " cannot be opened; the defaults are used and changes are not kept.");
    }
    isEnabled_ = settings_.autoCaptureEnabled();
    confirmBeforeSending_ = settings_.confirmBeforeSending();
    hotkeyEnabled_ = settings_.selectionHotkeyEnabled();
    quickEntryEnabled_ = settings_.quickEntryHotkeyEnabled();
    hotkeyCombo_ = settings_.hotkeyCombo();
    aiDecided_ = AIConsent::hasDecided();
    aiGranted_ = AIConsent::isGranted();
    launchAtLogin_ = services_.loginItem.isEnabled();
    observeNotifications();

    tasks_->run(
        [](std::stop_token) {
            Loaded loaded;
            const auto token = storedTokenPresent();
            loaded.hasToken = token.value_or(false);
            loaded.email = storedEmail();
            loaded.outboxCount = static_cast<int>(CaptureOutbox::pendingCount());
            TokenStore::hardenStorage();
            loaded.credentialsNote = credentialsNoteFor(
                token ? std::nullopt : std::optional<SecretStoreError>(token.error()));
            return loaded;
        },
        [this](Loaded loaded) { applyLoaded(loaded); });

    drainOutbox(false);
    outboxTimer_.setInterval(timing_.outboxInterval);
    connect(&outboxTimer_, &QTimer::timeout, this, [this] { drainOutbox(false); });
    outboxTimer_.start();
}

void CaptureMenuModel::applyLoaded(const Loaded& loaded) {
    publish(hasToken_, loaded.hasToken, &CaptureMenuModel::hasTokenChanged);
    publish(signedInEmail_, qt(loaded.email), &CaptureMenuModel::signedInEmailChanged);
    publish(outboxCount_, loaded.outboxCount, &CaptureMenuModel::outboxCountChanged);
    publish(credentialsNote_, qt(loaded.credentialsNote),
            &CaptureMenuModel::credentialsNoteChanged);
    if (loaded.credentialsNote && !loaded.hasToken) {
        log().notice(*loaded.credentialsNote);
    }
    if (isEnabled_) {
        startWatching();
    } else {
        publish(status_, QStringLiteral("Off"), &CaptureMenuModel::statusChanged);
    }
    if (hasToken_) {
        AIConsent::askIfUndecided();
    }
    loaded_ = true;
    emit loadedChanged();
}

void CaptureMenuModel::observeNotifications() {
    relay_->model = this;
    auto& center = NotificationCenter::shared();
    const std::weak_ptr<Relay> relay = relay_;
    const auto relayed = [relay](void (CaptureMenuModel::*handler)()) {
        return [relay, handler](std::string_view) {
            if (const auto live = relay.lock()) {
                live->post([model = live->model, handler] { (model->*handler)(); });
            }
        };
    };
    observations_.push_back(center.addObserver(std::string(AIConsent::needsDecisionNotification),
                                               relayed(&CaptureMenuModel::consentNeeded)));
    observations_.push_back(center.addObserver(std::string(AIConsent::didChangeNotification),
                                               relayed(&CaptureMenuModel::refreshConsent)));
    observations_.push_back(
        center.addObserver(std::string(SupabaseAuth::accountDidChangeNotification),
                           relayed(&CaptureMenuModel::refreshAccountEmail)));
}

void CaptureMenuModel::refreshConsent() {
    publish(aiDecided_, AIConsent::hasDecided(), &CaptureMenuModel::aiDecidedChanged);
    publish(aiGranted_, AIConsent::isGranted(), &CaptureMenuModel::aiGrantedChanged);
}

// The server may end the session on its own (a refused refresh); the e-mail line follows it.
void CaptureMenuModel::refreshAccountEmail() {
    if (accountBusy_) {
        return; // the sign-in or sign-out in progress sets it when it ends
    }
    tasks_->run([](std::stop_token) { return storedEmail(); },
                [this](std::optional<std::string> email) {
                    if (!accountBusy_) {
                        publish(signedInEmail_, qt(email), &CaptureMenuModel::signedInEmailChanged);
                    }
                });
}

void CaptureMenuModel::signIn(const QString& email, const QString& password) {
    if (accountBusy_) {
        return;
    }
    publish(accountBusy_, true, &CaptureMenuModel::accountBusyChanged);
    publish(accountError_, QString(), &CaptureMenuModel::accountErrorChanged);
    tasks_->run(
        [email = text::trimmedSpacesAndTabs(text::validUTF8(email.toStdString())),
         password = password.toStdString()](std::stop_token stop) {
            SignInResult result;
            const auto session = SupabaseAuth::shared().signIn(email, password, stop);
            if (!session) {
                result.error = session.error().description();
                return result;
            }
            result.email = session->email.value_or("");
            result.hasToken = storedTokenPresent().value_or(false);
            if (result.hasToken) {
                return result;
            }
            const auto minted = DeviceTokenMinter::mint(DeviceTokenMinter::deviceName(),
                                                        PlatformWords::platformTag, stop);
            if (!minted) {
                result.error = "Signed in, but couldn’t set " +
                               std::string(PlatformWords::thisMachine) +
                               " up for capture: " + minted.error().description();
            }
            return result;
        },
        [this](SignInResult result) { finishSignIn(result); });
}

void CaptureMenuModel::finishSignIn(const SignInResult& result) {
    publish(accountError_, qt(result.error), &CaptureMenuModel::accountErrorChanged);
    if (result.email) {
        publish(signedInEmail_, qt(result.email), &CaptureMenuModel::signedInEmailChanged);
        reloadToken();
        AIConsent::askIfUndecided();
    }
    publish(accountBusy_, false, &CaptureMenuModel::accountBusyChanged);
}

void CaptureMenuModel::reloadToken() {
    tasks_->run(
        [](std::stop_token) {
            const auto token = storedTokenPresent();
            return std::pair(
                token.value_or(false),
                credentialsNoteFor(token ? std::nullopt : std::optional(token.error())));
        },
        [this](std::pair<bool, std::optional<std::string>> state) {
            publish(hasToken_, state.first, &CaptureMenuModel::hasTokenChanged);
            publish(credentialsNote_, qt(state.second), &CaptureMenuModel::credentialsNoteChanged);
            if (!hasToken_) {
                return;
            }
            if (isEnabled_) {
                startWatching();
            }
            drainOutbox(true);
        });
}

void CaptureMenuModel::saveDeviceToken(const QString& token) {
    const auto trimmed = text::trimmedNonEmpty(text::validUTF8(token.toStdString()));
    if (!trimmed) {
        return;
    }
    tasks_->run(
        [token = *trimmed](std::stop_token) -> std::optional<std::string> {
            if (const auto saved = TokenStore::save(token); !saved) {
                return "Couldn't save the token to the " + std::string(PlatformWords::keychain) +
                       ". " + saved.error().description();
            }
            return std::nullopt;
        },
        [this](std::optional<std::string> problem) {
            if (problem) {
                publish(credentialsNote_, qt(problem), &CaptureMenuModel::credentialsNoteChanged);
                return;
            }
            reloadToken();
        });
}

void CaptureMenuModel::signOut() {
    if (accountBusy_) {
        return;
    }
    publish(accountBusy_, true, &CaptureMenuModel::accountBusyChanged);
    tasks_->run(
        [](std::stop_token stop) {
            SupabaseAuth::shared().signOut(stop);
            TokenStore::remove();
            return static_cast<int>(CaptureOutbox::pendingCount());
        },
        [this](int outboxCount) { finishSignOut(outboxCount); });
}

void CaptureMenuModel::finishSignOut(int outboxCount) {
    settings_.persistAutoCapture(false);
    publish(isEnabled_, false, &CaptureMenuModel::isEnabledChanged);
    stopWatching();
    AIConsent::reset();
    refreshConsent();
    publish(signedInEmail_, QString(), &CaptureMenuModel::signedInEmailChanged);
    publish(accountError_, QString(), &CaptureMenuModel::accountErrorChanged);
    publish(hasToken_, false, &CaptureMenuModel::hasTokenChanged);
    publish(outboxCount_, outboxCount, &CaptureMenuModel::outboxCountChanged);
    publish(status_, QStringLiteral("Signed out"), &CaptureMenuModel::statusChanged);
    publish(accountBusy_, false, &CaptureMenuModel::accountBusyChanged);
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
    tasks_->run(
        [](std::stop_token) { return static_cast<int>(CaptureOutbox::pendingCount()); },
        [this](int count) { publish(outboxCount_, count, &CaptureMenuModel::outboxCountChanged); });
}

void CaptureMenuModel::finishDrain(const Drained& drained) {
    publish(outboxCount_, drained.outboxCount, &CaptureMenuModel::outboxCountChanged);
    if (drained.delivered >= 1) {
        publish(sentCount_, sentCount_ + drained.delivered, &CaptureMenuModel::sentCountChanged);
        publish(lastEvent_,
                QStringLiteral("Sent %1 capture%2 that were waiting")
                    .arg(drained.delivered)
                    .arg(drained.delivered == 1 ? "" : "s"),
                &CaptureMenuModel::lastEventChanged);
    } else if (drained.lastError) {
        publish(
            lastEvent_,
            QStringLiteral("%1 waiting — %2").arg(drained.outboxCount).arg(qt(drained.lastError)),
            &CaptureMenuModel::lastEventChanged);
    }
    emit outboxDrained();
}

void CaptureMenuModel::recordConsent(bool granted) {
    AIConsent::record(granted);
    refreshConsent();
}

void CaptureMenuModel::setLaunchAtLogin(bool on) {
    const auto changed = services_.loginItem.setEnabled(on);
    publish(launchAtLoginStatus_,
            changed ? QString() : "Couldn’t change login items: " + qt(changed.error()),
            &CaptureMenuModel::launchAtLoginStatusChanged);
    publish(launchAtLogin_, services_.loginItem.isEnabled(),
            &CaptureMenuModel::launchAtLoginChanged);
}

void CaptureMenuModel::setPendingSend(TaskHandle task) {
    pendingSend_ = task;
    task.whenFinished([this, task] {
        if (pendingSend_ == task) {
            pendingSend_.reset();
        }
    });
}

void CaptureMenuModel::finishPendingOnQuit() {
    if (quitting_) {
        return;
    }
    quitting_ = true;
    outboxTimer_.stop();
    queueSelectionOnQuit();
    const auto announce = [this] {
        if (!std::exchange(quitAnnounced_, true)) {
            emit readyToQuit();
        }
    };
    if (!pendingSend_) {
        announce();
        return;
    }
    pendingSend_->whenFinished(announce);
    QTimer::singleShot(timing_.quitWaitLimit, this, announce);
}

} // namespace tarvo::desktop
