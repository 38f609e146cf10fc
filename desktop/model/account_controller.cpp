#include <desktop/model/account_controller.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/platform/desktop_log.hpp>

#include <capturekit/account/account_steps.hpp>
#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/platform_words.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/secret_store.hpp>
#include <capturekit/platform/text.hpp>

#include <QMetaObject>

#include <mutex>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

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

struct AccountController::TokenState {
    bool hasToken = false;
    std::optional<std::string> credentialsNote;

    static TokenState read() {
        const auto token = storedTokenPresent();
        return {token.value_or(false),
                credentialsNoteFor(token ? std::nullopt : std::optional(token.error()))};
    }
};

// Notification observers run on the posting thread, which may be a worker; they hand the call
// to the controller's thread through this relay, which the controller disconnects before it goes.
struct AccountController::Relay {
    std::mutex mutex;
    AccountController* account = nullptr;

    template <typename F> void post(F call) {
        std::lock_guard lock(mutex);
        if (account != nullptr) {
            QMetaObject::invokeMethod(account, std::move(call), Qt::QueuedConnection);
        }
    }
};

AccountController::Stored AccountController::readStored() {
    const auto token = TokenState::read();
    return {token.hasToken, storedEmail(), token.credentialsNote};
}

AccountController::AccountController(QObject* parent)
    : QObject(parent), aiDecided_(AIConsent::hasDecided()), aiGranted_(AIConsent::isGranted()),
      relay_(std::make_shared<Relay>()), tasks_(std::make_unique<BackgroundTasks>(*this)) {
    observeNotifications();
}

AccountController::~AccountController() {
    std::lock_guard lock(relay_->mutex);
    relay_->account = nullptr;
}

template <typename T> void AccountController::publish(T& field, T value) {
    if (field != value) {
        field = std::move(value);
        emit changed();
    }
}

void AccountController::apply(const Stored& stored) {
    publish(hasToken_, stored.hasToken);
    publish(signedInEmail_, qtText(stored.email));
    publish(credentialsNote_, qtText(stored.credentialsNote));
    if (stored.credentialsNote && !stored.hasToken) {
        desktopLog(LogCategory::menu).notice(*stored.credentialsNote);
    }
}

void AccountController::refreshFromStore() {
    if (accountBusy_) {
        return;
    }
    struct Now {
        Stored stored;
        int outboxCount = 0;
    };
    tasks_->run(
        [](std::stop_token) {
            return Now{readStored(), static_cast<int>(CaptureOutbox::pendingCount())};
        },
        [this](const Now& now) {
            if (accountBusy_) {
                return; // the sign-in or sign-out in progress has the last word
            }
            const bool had = hasToken_;
            refreshConsent();
            apply(now.stored);
            if (!had && hasToken_) {
                emit tokenAvailable();
            } else if (had && !hasToken_ && signedInEmail_.isEmpty()) {
                emit signedOut(now.outboxCount);
            }
        });
}

void AccountController::observeNotifications() {
    relay_->account = this;
    auto& center = NotificationCenter::shared();
    const std::weak_ptr<Relay> relay = relay_;
    const auto relayed = [relay](void (AccountController::*handler)()) {
        return [relay, handler](std::string_view) {
            if (const auto live = relay.lock()) {
                live->post([account = live->account, handler] { (account->*handler)(); });
            }
        };
    };
    observations_.push_back(center.addObserver(std::string(AIConsent::needsDecisionNotification),
                                               relayed(&AccountController::consentNeeded)));
    observations_.push_back(center.addObserver(std::string(AIConsent::didChangeNotification),
                                               relayed(&AccountController::refreshConsent)));
    observations_.push_back(
        center.addObserver(std::string(SupabaseAuth::accountDidChangeNotification),
                           relayed(&AccountController::refreshAccountEmail)));
}

void AccountController::refreshConsent() {
    publish(aiDecided_, AIConsent::hasDecided());
    publish(aiGranted_, AIConsent::isGranted());
}

// The server may end the session on its own (a refused refresh); the e-mail line follows it.
void AccountController::refreshAccountEmail() {
    if (accountBusy_) {
        return; // the sign-in or sign-out in progress sets it when it ends
    }
    tasks_->run([](std::stop_token) { return storedEmail(); },
                [this](std::optional<std::string> email) {
                    if (!accountBusy_) {
                        publish(signedInEmail_, qtText(email));
                    }
                });
}

void AccountController::signIn(const QString& email, const QString& password) {
    if (accountBusy_) {
        return;
    }
    publish(accountBusy_, true);
    publish(accountError_, QString());
    using Result = std::expected<AccountSteps::SignedIn, AuthError>;
    tasks_->run(
        [email = email.toStdString(), password = password.toStdString()](std::stop_token stop) {
            return AccountSteps::signInAndSetUp(email, password, stop);
        },
        [this](Result result) {
            if (!result) {
                publish(accountError_, qtText(result.error().description()));
            } else {
                publish(accountError_, qtText(result->setUpError));
                publish(signedInEmail_, qtText(result->email));
                reloadToken();
                AIConsent::askIfUndecided();
            }
            publish(accountBusy_, false);
        });
}

void AccountController::reloadToken() {
    tasks_->run([](std::stop_token) { return TokenState::read(); },
                [this](TokenState state) { applyToken(state); });
}

void AccountController::applyToken(const TokenState& state) {
    publish(hasToken_, state.hasToken);
    publish(credentialsNote_, qtText(state.credentialsNote));
    if (hasToken_) {
        emit tokenAvailable();
    }
}

void AccountController::saveDeviceToken(const QString& token) {
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
                publish(credentialsNote_, qtText(problem));
                return;
            }
            reloadToken();
        });
}

void AccountController::signOut() {
    if (accountBusy_) {
        return;
    }
    publish(accountBusy_, true);
    tasks_->run(
        [](std::stop_token stop) {
            AccountSteps::signOut(stop);
            return static_cast<int>(CaptureOutbox::pendingCount());
        },
        [this](int outboxCount) {
            refreshConsent();
            publish(signedInEmail_, QString());
            publish(accountError_, QString());
            publish(hasToken_, false);
            emit signedOut(outboxCount);
            publish(accountBusy_, false);
        });
}

void AccountController::recordConsent(bool granted) {
    AIConsent::record(granted);
    refreshConsent();
}

} // namespace tarvo::desktop
