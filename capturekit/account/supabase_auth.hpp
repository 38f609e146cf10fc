#pragma once

// Sign-in, sign-out and the signed-in session's access token. Every operation blocks and may be
// called from any thread. At most one refresh runs at a time in a process: callers that find a
// stale session while a refresh is in flight wait for it instead of spending the single-use
// refresh token again. Across processes (the desktop app and the command line share one stored
// session) each refresh holds an advisory lock on a file beside the app-group preferences and
// re-reads the stored session once it holds it. Signing in or out ends any refresh in flight for
// good: a refresh that finishes afterwards stores nothing.

#include <capturekit/account/auth_error.hpp>
#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/account/user_session.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/http_session.hpp>
#include <capturekit/platform/secret_store.hpp>

#include <condition_variable>
#include <expected>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace capturekit {

class SupabaseAuth {
public:
    // Posted (on the calling thread) when a person signs in, signs out, or is signed out because
    // the server refused the session: state that belongs to one account is to be forgotten.
    static constexpr std::string_view accountDidChangeNotification =
        "SupabaseAuth.accountDidChange";

    // What an instance works with; each absent member means the process's own.
    struct Services {
        HttpTransport* transport = nullptr;        // HttpSession::shared()
        const Clock* clock = nullptr;              // SystemClock::shared()
        SecretStore* secrets = nullptr;            // SecretStore::active()
        std::optional<CaptureEndpoints> endpoints; // CaptureConfig::endpoints()
        // The cross-process refresh lock; by default "session-refresh.lock" beside the app-group
        // preferences.
        std::optional<std::filesystem::path> refreshLockFile;
    };

    enum class GrantKind { password, refresh };

    SupabaseAuth();
    explicit SupabaseAuth(Services services);
    ~SupabaseAuth();
    SupabaseAuth(const SupabaseAuth&) = delete;
    SupabaseAuth& operator=(const SupabaseAuth&) = delete;

    // The process-wide instance, created on first use.
    static SupabaseAuth& shared();

    // Password grant; stores the session. The email is sent as given (callers trim it).
    std::expected<UserSession, AuthError> signIn(std::string_view email, std::string_view password,
                                                 std::stop_token stop = {});
    // Forgets the session here at once, then tells the server (best effort). Never fails.
    void signOut(std::stop_token stop = {});
    // An access token valid for more than UserSession::refreshMargin, refreshing when needed;
    // else the stored token while it has not expired; else absent.
    std::optional<std::string> validAccessToken(std::stop_token stop = {});

    bool isSignedIn() const;
    std::optional<std::string> currentUserID() const;
    std::optional<std::string> currentEmail() const;

    // The token request of a grant (URL with its "grant_type", headers, JSON body, timeout).
    static HttpRequest tokenRequest(const CaptureEndpoints& endpoints, GrantKind kind,
                                    std::string_view first, std::string_view second = {});

private:
    struct Flight;

    std::optional<UserSession> refresh(const UserSession& session, std::stop_token stop);
    std::optional<UserSession> runRefresh(const UserSession& session, std::stop_token stop,
                                          unsigned long long epoch);
    std::optional<UserSession> refreshLocked(const UserSession& session, std::stop_token stop,
                                             unsigned long long epoch);
    std::optional<UserSession> storedSession() const;
    // Ends the refresh in flight and makes every refresh started before now store nothing.
    // Called with mutex_ held.
    void endRefreshesLocked();
    void logout(const UserSession& session, std::stop_token stop);
    std::filesystem::path refreshLockPath() const;

    HttpTransport& transport_;
    const Clock& clock_;
    SecretStore& secrets_;
    CaptureEndpoints endpoints_;
    std::optional<std::filesystem::path> refreshLockFile_;

    mutable std::mutex mutex_;
    std::condition_variable runningChanged_;
    std::shared_ptr<Flight> flight_;
    unsigned long long epoch_ = 0; // advanced by every sign-in and sign-out
    int runningRefreshes_ = 0;
};

} // namespace capturekit
