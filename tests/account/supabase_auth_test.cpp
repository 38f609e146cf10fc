#include "support/account_sandbox.hpp"
#include "support/manual_clock.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/session_store.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/json.hpp>

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::AccountSandbox;
using tarvo::test::ManualClock;
using tarvo::test::ScriptedTransport;

namespace {

const Date start = *dates::parseISO8601("2026-03-01T09:30:00Z");

std::string tokenReply(const std::string& access, const std::string& refresh, int expiresIn) {
    return R"({"access_token":")" + access + R"(","refresh_token":")" + refresh +
           R"(","expires_in":)" + std::to_string(expiresIn) +
           R"(,"user":{"id":"user-1","email":"kim@example.test"}})";
}

UserSession sessionExpiringAt(Date expiresAt, std::string refresh = "r0") {
    return UserSession{"a0", std::move(refresh), expiresAt, "user-1", "kim@example.test"};
}

bool isRefreshGrant(const HttpRequest& request) {
    return request.url.ends_with("/auth/v1/token?grant_type=refresh_token");
}

class SupabaseAuthTest : public ::testing::Test {
protected:
    SupabaseAuth::Services services(ScriptedTransport& transport) {
        return {&transport, &clock, &sandbox.secrets(), std::nullopt, sandbox.lockFile()};
    }
    void store(const UserSession& session) {
        ASSERT_TRUE(SessionStore::save(session, sandbox.secrets()));
    }
    std::optional<UserSession> stored() { return SessionStore::read(sandbox.secrets()); }

    AccountSandbox sandbox;
    ManualClock clock{start};
};

} // namespace

TEST_F(SupabaseAuthTest, ATokenWithMoreThanTheMarginLeftIsUsedAsIsAndOneAtTheMarginIsRefreshed) {
    ScriptedTransport transport([](const HttpRequest&, std::stop_token) {
        return ScriptedTransport::reply(200, tokenReply("a1", "r1", 3600));
    });
    SupabaseAuth auth(services(transport));

    store(sessionExpiringAt(start + 61s));
    EXPECT_EQ(auth.validAccessToken(), "a0");
    EXPECT_TRUE(transport.requests().empty());

    store(sessionExpiringAt(start + 60s));
    EXPECT_EQ(auth.validAccessToken(), "a1");
    ASSERT_EQ(transport.requests().size(), 1u);
    const HttpRequest request = transport.requests()[0];
    EXPECT_TRUE(isRefreshGrant(request)) << request.url;
    EXPECT_EQ(*json::parse(request.body), (Json{{"refresh_token", "r0"}}));
    // The rotated session is stored before its token is handed out.
    EXPECT_EQ(stored()->refreshToken, "r1");
    EXPECT_EQ(stored()->expiresAt, start + 3600s);
}

TEST_F(SupabaseAuthTest, ARejectedRefreshSignsOutUnlessAnotherProcessAlreadyStoredANewerSession) {
    const auto rejection = ScriptedTransport::reply(
        400,
        R"({"error_code":"refresh_token_already_used","msg":"Invalid Refresh Token: Already Used"})");
    // Another process rotates the session while this one's request is under way.
    ScriptedTransport racing([&](const HttpRequest&, std::stop_token) {
        SessionStore::save(sessionExpiringAt(start + 3600s, "r-other"), sandbox.secrets());
        return rejection;
    });
    store(sessionExpiringAt(start + 10s));
    EXPECT_EQ(SupabaseAuth(services(racing)).validAccessToken(), "a0");
    EXPECT_EQ(stored()->refreshToken, "r-other");

    ScriptedTransport rejecting([&](const HttpRequest&, std::stop_token) { return rejection; });
    SharedState::setDisabledAppKeys({"trove"});
    SupabaseAuth auth(services(rejecting));
    store(sessionExpiringAt(start - 1s));
    EXPECT_EQ(auth.validAccessToken(), std::nullopt);
    EXPECT_FALSE(auth.isSignedIn());
    EXPECT_TRUE(SharedState::disabledAppKeys().empty());
}

TEST_F(SupabaseAuthTest, OtherRefreshFailuresKeepTheSessionAndItsUnexpiredToken) {
    ScriptedTransport failing(
        [](const HttpRequest&, std::stop_token) { return ScriptedTransport::reply(503, ""); });
    SupabaseAuth auth(services(failing));
    store(sessionExpiringAt(start + 30s));
    EXPECT_EQ(auth.validAccessToken(), "a0");
    clock.advance(30s);
    EXPECT_EQ(auth.validAccessToken(), std::nullopt);
    EXPECT_TRUE(auth.isSignedIn());
    EXPECT_EQ(failing.requests().size(), 2u);
}

TEST_F(SupabaseAuthTest, SignOutDuringARefreshLeavesThePersonSignedOut) {
    std::latch requestStarted(1);
    std::atomic<bool> release = false;
    // The server answers the refresh only after the sign-out began, and ignores cancellation.
    ScriptedTransport transport([&](const HttpRequest& request, std::stop_token) {
        if (isRefreshGrant(request)) {
            requestStarted.count_down();
            while (!release) {
                std::this_thread::sleep_for(5ms);
            }
            return ScriptedTransport::reply(200, tokenReply("a1", "r1", 3600));
        }
        return ScriptedTransport::reply(204, "");
    });
    SupabaseAuth auth(services(transport));
    store(sessionExpiringAt(start - 1s));

    std::optional<std::string> token = "unset";
    std::thread caller([&] { token = auth.validAccessToken(); });
    requestStarted.wait();
    std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        release = true;
    });
    auth.signOut();
    caller.join();
    releaser.join();

    EXPECT_FALSE(auth.isSignedIn());
    EXPECT_EQ(token, std::nullopt);
    const auto requests = transport.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].url.ends_with("/auth/v1/logout"));
    EXPECT_EQ(requests[1].headers[1],
              (std::pair<std::string, std::string>{"Authorization", "Bearer a0"}));
}
