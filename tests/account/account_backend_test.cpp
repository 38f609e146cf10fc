// Sign-in, refresh, sign-out, device set-up and the apps-enabled cache against the dev backend,
// over real HTTP. Each test starts its own server and points the endpoints at it.

#include "support/account_sandbox.hpp"
#include "support/backend_client.hpp"
#include "support/child_process.hpp"
#include "support/manual_clock.hpp"

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/delivery/apps_enabled.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/notification_center.hpp>

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::AccountSandbox;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendProcess;
using tarvo::test::ManualClock;

namespace {

constexpr const char* password = "correct horse";

class AccountBackendTest : public ::testing::Test {
protected:
    CaptureEndpoints endpoints() const {
        CaptureEndpoints endpoints{CaptureConfig::environment(), backend.baseURL()};
        endpoints.environment.supabaseAnonKey = DevBackendProcess::anonymousKey();
        return endpoints;
    }
    SupabaseAuth::Services services(const Clock& clock = SystemClock::shared()) {
        return {&HttpSession::shared(), &clock, &sandbox.secrets(), endpoints(),
                sandbox.lockFile()};
    }
    std::string newUser() {
        const std::string email = BackendClient::uniqueEmail();
        client.addUser(email, password);
        return email;
    }
    std::size_t refreshRequests() {
        std::size_t count = 0;
        for (const Json& entry : client.requests("/auth/v1/token")) {
            count += entry.value("query", "").find("refresh_token") != std::string::npos;
        }
        return count;
    }
    std::optional<UserSession> stored() { return SessionStore::read(sandbox.secrets()); }
    // A new user's session; a refused sign-in throws, failing the test.
    UserSession signIn(SupabaseAuth& auth) { return auth.signIn(newUser(), password).value(); }
    // A new user's session, stored as if it ran out in 30 seconds on the real clock.
    UserSession staleSession(SupabaseAuth& auth) {
        UserSession session = signIn(auth);
        session.expiresAt = dates::now() + 30s;
        EXPECT_TRUE(SessionStore::save(session, sandbox.secrets()));
        return session;
    }

    AccountSandbox sandbox;
    DevBackendProcess backend;
    BackendClient client{backend};
};

} // namespace

// Wrong and unknown credentials and the reply's reading are tested in the token-reply tests and
// through the command line.
TEST_F(AccountBackendTest, SignInStoresTheServersSession) {
    SupabaseAuth auth(services());
    const std::string email = newUser();
    EXPECT_EQ(auth.signIn(email, "not the password").error().kind,
              AuthError::Kind::invalidCredentials);
    const Date before = dates::now();
    const auto session = auth.signIn(email, password);
    ASSERT_TRUE(session) << session.error().description();
    EXPECT_EQ(session->userID, JWTClaims(session->accessToken).subject);
    EXPECT_GE(session->expiresAt, before + 3590s);
    EXPECT_EQ(stored(), *session);
    EXPECT_EQ(auth.currentEmail(), email);
    EXPECT_EQ(auth.validAccessToken(), session->accessToken);
}

// The session is made stale on the real clock, not by moving a manual clock: the refreshed
// session's expiry is the server's, so on a manual clock set near the old expiry the new session
// would look stale too, and a caller arriving after the first refresh would refresh again.
TEST_F(AccountBackendTest, EightThreadsOnAStaleSessionSendOneRefresh) {
    SupabaseAuth auth(services());
    const UserSession session = staleSession(auth);

    std::latch ready(8);
    std::vector<std::optional<std::string>> tokens(8);
    {
        std::vector<std::jthread> callers;
        for (int i = 0; i < 8; ++i) {
            callers.emplace_back([&, i] {
                ready.arrive_and_wait();
                tokens[i] = auth.validAccessToken();
            });
        }
    }
    EXPECT_EQ(refreshRequests(), 1u);
    EXPECT_NE(stored()->accessToken, session.accessToken);
    for (const auto& token : tokens) {
        EXPECT_EQ(token, stored()->accessToken);
    }
}

TEST_F(AccountBackendTest, ProgramsSharingTheStoredSessionSpendItsRefreshTokenOnce) {
    SupabaseAuth auth(services());
    const UserSession session = staleSession(auth);

    std::vector<tarvo::test::ChildProcess> programs;
    for (int i = 0; i < 4; ++i) {
        programs.push_back(tarvo::test::ChildProcess::start(
            TARVO_STORE_HELPER,
            {"valid-token", sandbox.secrets().file().string(), sandbox.lockFile().string(),
             backend.baseURL(), DevBackendProcess::anonymousKey()}));
    }
    for (auto& program : programs) {
        const auto result = program.finish();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.output, stored()->accessToken + "\n");
    }
    EXPECT_NE(stored()->accessToken, session.accessToken);
    EXPECT_EQ(refreshRequests(), 1u);
}

TEST_F(AccountBackendTest, AReusedRefreshTokenIsRefusedAndSignsThePersonOut) {
    ManualClock clock(dates::now());
    SupabaseAuth auth(services(clock));
    const UserSession original = signIn(auth);
    // Two rotations make the original refresh token an ancestor the server will not take again.
    for (int i = 0; i < 2; ++i) {
        clock.set(stored()->expiresAt - 30s);
        ASSERT_TRUE(auth.validAccessToken());
    }
    ASSERT_EQ(refreshRequests(), 2u);
    clock.set(original.expiresAt + 1s);
    ASSERT_TRUE(SessionStore::save(original, sandbox.secrets()));

    EXPECT_EQ(auth.validAccessToken(), std::nullopt);
    EXPECT_FALSE(auth.isSignedIn());
    EXPECT_EQ(refreshRequests(), 3u);
}

TEST_F(AccountBackendTest, SignOutEndsTheServerSessionAndWorksOffline) {
    SupabaseAuth auth(services());
    const UserSession session = signIn(auth);
    auth.signOut();
    EXPECT_FALSE(auth.isSignedIn());
    // The server forgot the session: its refresh token is no longer found.
    EXPECT_EQ(client.refresh(session.refreshToken).status, 400);

    ASSERT_TRUE(auth.signIn(session.email.value(), password));
    backend.stop();
    const auto begun = std::chrono::steady_clock::now();
    auth.signOut();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
    EXPECT_FALSE(auth.isSignedIn());
    EXPECT_EQ(SupabaseAuth(services()).signIn(session.email.value(), password).error().kind,
              AuthError::Kind::network);
}

TEST_F(AccountBackendTest, AppsEnabledFollowsTheServerWithinItsFiveMinuteAndDayRules) {
    ManualClock clock(dates::now());
    SupabaseAuth auth(services(clock));
    const SupabaseJWTAuthProvider userAuth(&auth);
    const UserSession session = signIn(auth);
    ASSERT_EQ(client
                  .send("PUT", "/__dev/users/" + session.userID + "/apps",
                        R"({"docket": false, "diary": false})",
                        {{"Content-Type", "application/json"}})
                  .status,
              200);
    int notifications = 0;
    const auto observation =
        NotificationCenter::shared().addObserver(std::string(AppsEnabled::didChangeNotification),
                                                 [&](std::string_view) { ++notifications; });
    const AppsEnabled::Connection connection{&HttpSession::shared(), &clock, endpoints()};
    const auto rpcRequests = [&] {
        return client.requests("/rest/v1/rpc/apps_enabled").size();
    };

    EXPECT_TRUE(AppsEnabled::isEnabled(Destination::docket, clock));
    AppsEnabled::refresh(userAuth, false, {}, connection);
    EXPECT_EQ(rpcRequests(), 1u);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(AppsEnabled::isEnabled(Destination::docket, clock));
    EXPECT_FALSE(AppsEnabled::isEnabled(Destination::bloom, clock));
    EXPECT_TRUE(AppsEnabled::isEnabled(Destination::stash, clock));

    clock.advance(299s);
    AppsEnabled::refresh(userAuth, false, {}, connection);
    EXPECT_EQ(rpcRequests(), 1u);
    AppsEnabled::refresh(userAuth, true, {}, connection);
    EXPECT_EQ(rpcRequests(), 2u);
    EXPECT_EQ(notifications, 1); // the same answer stamps the time but announces nothing
    EXPECT_EQ(SharedState::appsEnabledFetchedAt(), clock.now());
    clock.advance(24h);
    EXPECT_TRUE(AppsEnabled::isEnabled(Destination::docket, clock));

    auth.signOut();
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(SharedState::appsEnabledFetchedAt(), std::nullopt);
}
