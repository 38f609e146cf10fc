#include <capturekit/account/supabase_auth.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/gotrue_reply.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/file_lock.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/notification_center.hpp>

#include <condition_variable>
#include <thread>

namespace capturekit {

namespace {

using namespace std::chrono_literals;

// Longer than a token request may take, so a healthy holder always finishes first.
constexpr std::chrono::milliseconds refreshLockWait = 30s;
constexpr std::chrono::milliseconds joinPollInterval = 10ms;

const Logger& log() {
    static const Logger logger(application::identifier(), "auth");
    return logger;
}

} // namespace

struct SupabaseAuth::Flight {
    std::stop_source stop;
    std::shared_future<std::optional<UserSession>> result;
};

SupabaseAuth::SupabaseAuth() : SupabaseAuth(Services{}) {}

SupabaseAuth::SupabaseAuth(Services services)
    : transport_(services.transport ? *services.transport : HttpSession::shared()),
      clock_(services.clock ? *services.clock : SystemClock::shared()),
      secrets_(services.secrets ? *services.secrets : SecretStore::active()),
      endpoints_(services.endpoints.value_or(CaptureEndpoints{CaptureConfig::environment()})),
      refreshLockFile_(std::move(services.refreshLockFile)) {}

SupabaseAuth::~SupabaseAuth() {
    std::unique_lock lock(mutex_);
    endRefreshesLocked();
    runningChanged_.wait(lock, [&] { return runningRefreshes_ == 0; });
}

SupabaseAuth& SupabaseAuth::shared() {
    static SupabaseAuth instance;
    return instance;
}

HttpRequest SupabaseAuth::tokenRequest(const CaptureEndpoints& endpoints, GrantKind kind,
                                       std::string_view first, std::string_view second) {
    Json body = Json::object();
    std::string grantType;
    if (kind == GrantKind::password) {
        grantType = "password";
        body["email"] = std::string(first);
        body["password"] = std::string(second);
    } else {
        grantType = "refresh_token";
        body["refresh_token"] = std::string(first);
    }
    const std::string& key = endpoints.environment.supabaseAnonKey;
    return HttpRequest{
        "POST",
        endpoints.authTokenURL() + "?grant_type=" + grantType,
        {{"Content-Type", "application/json"}, {"apikey", key}, {"Authorization", "Bearer " + key}},
        json::dump(body),
        CaptureConfig::authTimeout};
}

std::filesystem::path SupabaseAuth::refreshLockPath() const {
    if (refreshLockFile_) {
        return *refreshLockFile_;
    }
    const auto database = CaptureConfig::appGroupPreferences().databasePath();
    return database ? database->parent_path() / "session-refresh.lock" : std::filesystem::path();
}

std::optional<UserSession> SupabaseAuth::storedSession() const {
    return SessionStore::read(secrets_);
}

bool SupabaseAuth::isSignedIn() const {
    return storedSession().has_value();
}

std::optional<std::string> SupabaseAuth::currentUserID() const {
    auto session = storedSession();
    return session ? std::optional(std::move(session->userID)) : std::nullopt;
}

std::optional<std::string> SupabaseAuth::currentEmail() const {
    auto session = storedSession();
    return session ? std::move(session->email) : std::nullopt;
}

void SupabaseAuth::endRefreshesLocked() {
    ++epoch_;
    if (flight_) {
        flight_->stop.request_stop();
        flight_.reset();
    }
}

std::expected<UserSession, AuthError>
SupabaseAuth::signIn(std::string_view email, std::string_view password, std::stop_token stop) {
    if (endpoints_.environment.supabaseAnonKey.empty()) {
        return std::unexpected(AuthError::notConfigured());
    }
    const Date requestedAt = clock_.now();
    const auto reply =
        transport_.perform(tokenRequest(endpoints_, GrantKind::password, email, password), stop);
    auto session = readTokenReply(reply, requestedAt);
    if (!session) {
        log().notice("sign-in failed: " + session.error().description());
        return session;
    }
    NotificationCenter::shared().post(accountDidChangeNotification);
    const FileLock fileLock(refreshLockPath(), refreshLockWait, stop);
    std::lock_guard lock(mutex_);
    endRefreshesLocked();
    if (!SessionStore::save(*session, secrets_)) {
        return std::unexpected(AuthError::keychainUnavailable());
    }
    log().info("signed in");
    return session;
}

void SupabaseAuth::signOut(std::stop_token stop) {
    {
        std::lock_guard lock(mutex_);
        endRefreshesLocked();
    }
    std::optional<UserSession> stored;
    {
        // A refresh another process is running finishes (or gives up) before the item goes, so
        // it cannot store its rotated session after it.
        const FileLock fileLock(refreshLockPath(), refreshLockWait, stop);
        std::lock_guard lock(mutex_);
        stored = storedSession();
        SessionStore::remove(secrets_);
    }
    NotificationCenter::shared().post(accountDidChangeNotification);
    log().info("signed out");
    if (stored) {
        logout(*stored, stop);
    }
}

void SupabaseAuth::logout(const UserSession& session, std::stop_token stop) {
    const HttpRequest request{"POST",
                              endpoints_.authLogoutURL(),
                              {{"apikey", endpoints_.environment.supabaseAnonKey},
                               {"Authorization", "Bearer " + session.accessToken}},
                              {},
                              CaptureConfig::authTimeout};
    const auto reply = transport_.perform(request, stop);
    if (!reply || reply->statusCode < 200 || reply->statusCode > 299) {
        log().notice("the server was not told about the sign-out");
    }
}

std::optional<std::string> SupabaseAuth::validAccessToken(std::stop_token stop) {
    const auto session = storedSession();
    if (!session) {
        return std::nullopt;
    }
    if (session->isFresh(clock_.now())) {
        return session->accessToken;
    }
    if (const auto renewed = refresh(*session, stop)) {
        return renewed->accessToken;
    }
    if (!session->isExpired(clock_.now())) {
        return session->accessToken;
    }
    return std::nullopt;
}

std::optional<UserSession> SupabaseAuth::refresh(const UserSession& session, std::stop_token stop) {
    std::shared_future<std::optional<UserSession>> result;
    {
        std::lock_guard lock(mutex_);
        if (!flight_) {
            auto flight = std::make_shared<Flight>();
            auto promise = std::make_shared<std::promise<std::optional<UserSession>>>();
            flight->result = promise->get_future().share();
            ++runningRefreshes_;
            std::thread([this, session, promise, flight = std::weak_ptr(flight),
                         token = flight->stop.get_token(), epoch = epoch_] {
                auto value = runRefresh(session, token, epoch);
                std::lock_guard lock(mutex_);
                if (flight_ && flight_ == flight.lock()) {
                    flight_.reset();
                }
                promise->set_value(std::move(value));
                --runningRefreshes_;
                runningChanged_.notify_all();
            }).detach();
            flight_ = std::move(flight);
        }
        result = flight_->result;
    }
    while (result.wait_for(joinPollInterval) != std::future_status::ready) {
        if (stop.stop_requested()) {
            return std::nullopt;
        }
    }
    return result.get();
}

std::optional<UserSession> SupabaseAuth::runRefresh(const UserSession& session,
                                                    std::stop_token stop,
                                                    unsigned long long epoch) {
    const FileLock fileLock(refreshLockPath(), refreshLockWait, stop);
    if (fileLock.outcome() == FileLock::Outcome::stopped) {
        return std::nullopt;
    }
    if (!fileLock.isHeld()) {
        log().notice("refreshing the session without the cross-process lock");
    }
    return refreshLocked(session, stop, epoch);
}

std::optional<UserSession> SupabaseAuth::refreshLocked(const UserSession& session,
                                                       std::stop_token stop,
                                                       unsigned long long epoch) {
    // Another process (or an earlier refresh here) may have rotated the session meanwhile.
    const auto stored = storedSession();
    if (!stored) {
        return std::nullopt;
    }
    if (stored->refreshToken != session.refreshToken && stored->isFresh(clock_.now())) {
        return stored;
    }
    const Date requestedAt = clock_.now();
    const auto reply = transport_.perform(
        tokenRequest(endpoints_, GrantKind::refresh, stored->refreshToken), stop);
    auto renewed = readTokenReply(reply, requestedAt);

    std::unique_lock lock(mutex_);
    if (epoch != epoch_) {
        return std::nullopt; // signed in or out meanwhile: this refresh no longer counts
    }
    if (renewed) {
        if (!SessionStore::save(*renewed, secrets_)) {
            log().error("the refreshed session could not be stored");
        }
        return std::move(*renewed);
    }
    if (renewed.error().kind != AuthError::Kind::invalidCredentials) {
        log().notice("session refresh failed: " + renewed.error().description());
        return std::nullopt;
    }
    if (auto newer = storedSession(); newer && newer->refreshToken != stored->refreshToken) {
        return newer;
    }
    SessionStore::remove(secrets_);
    lock.unlock();
    log().notice("the session was rejected; signed out");
    NotificationCenter::shared().post(accountDidChangeNotification);
    return std::nullopt;
}

} // namespace capturekit
