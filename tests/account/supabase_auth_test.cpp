#include "support/account_sandbox.hpp"
#include "support/manual_clock.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/gotrue_reply.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/base64.hpp>
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

// The server's answer to a refresh: the session rotated for an hour.
const std::string rotated = R"({"access_token":"a1","refresh_token":"r1","expires_in":3600,)"
                            R"("user":{"id":"user-1","email":"kim@example.test"}})";

UserSession sessionExpiringAt(Date expiresAt, std::string refresh = "r0") {
    return UserSession{"a0", std::move(refresh), expiresAt, "user-1", "kim@example.test"};
}

bool isRefreshGrant(const HttpRequest& request) {
    return request.url.ends_with("/auth/v1/token?grant_type=refresh_token");
}

std::expected<UserSession, AuthError> read(int status, const std::string& body) {
    return readTokenReply(HttpResponse{status, {}, body}, start);
}

// A reply with both tokens, the given fields and a user.
std::string tokens(const std::string& fields) {
    return R"({"access_token":"a","refresh_token":"r",)" + fields +
           R"("user":{"id":"u-1","email":"a@b.c"}})";
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
    ScriptedTransport transport(
        [](const HttpRequest&, std::stop_token) { return ScriptedTransport::reply(200, rotated); });
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
    EXPECT_EQ(stored(), (UserSession{"a1", "r1", start + 1h, "user-1", "kim@example.test"}));
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
            return ScriptedTransport::reply(200, rotated);
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

TEST(TokenReply, ExpiryComesFromExpiresAtThenExpiresInThenAnHour) {
    EXPECT_EQ(read(200, tokens(R"("expires_in":60,"expires_at":1772357400,)")),
              (UserSession{"a", "r", start, "u-1", "a@b.c"}));
    EXPECT_EQ(read(200, tokens(R"("expires_in":1800,)")).value().expiresAt, start + 30min);
    EXPECT_EQ(read(201, tokens(R"("extra":[1],)")).value().expiresAt, start + 1h);
}

TEST(TokenReply, FailuresAreMalformedRepliesRefusedCredentialsOrServerErrors) {
    for (const std::string& body :
         {tokens(R"("expires_in":"3600",)"), tokens(R"("expires_in":1.5,)"),
          std::string(R"({"access_token":"a","refresh_token":"r"})"),
          std::string(R"({"access_token":"a","refresh_token":"r","user":{"email":"x"}})"),
          std::string(R"({"access_token":"a","user":{"id":"u"}})"), std::string("not json"),
          std::string("[]")}) {
        EXPECT_EQ(read(200, body), std::unexpected(AuthError::malformedResponse())) << body;
    }
    EXPECT_EQ(AuthError::malformedResponse().description(),
              "The server sent something unexpected.");

    const auto failure = [](int status, const std::string& body) {
        return read(status, body).error();
    };
    EXPECT_EQ(failure(401, ""), AuthError::invalidCredentials("Sign-in failed (HTTP 401)."));
    EXPECT_EQ(failure(500, ""), AuthError::server(500, "Sign-in failed (HTTP 500)."));
    EXPECT_EQ(failure(422, R"({"error":"invalid_grant"})"),
              AuthError::server(422, "invalid_grant"));
    EXPECT_EQ(failure(401, "{}"), AuthError::server(401, "Sign-in failed (HTTP 401)."));
    // error_description wins over msg, message and error; a reused refresh token is a rejection.
    EXPECT_EQ(failure(400, R"({"error":"x","message":"m","msg":"g","error_description":"d",
                              "error_code":"refresh_token_already_used"})"),
              AuthError::invalidCredentials("d"));
    // A failure body with a wrong-typed field is no failure object at all.
    EXPECT_EQ(failure(400, R"({"error":5})"),
              AuthError::invalidCredentials("Sign-in failed (HTTP 400)."));

    const auto offline = readTokenReply(
        std::unexpected(HttpError{HttpError::Kind::transport, "Failed to connect to host"}), start);
    EXPECT_EQ(offline.error().description(),
              "Couldn’t reach the server — Failed to connect to host");
}

TEST(UserSession, StoredFormRoundTripsAndTokenClaimsAreReadAndToleratedBroken) {
    const UserSession session{"acc", "ref", start + 1500ms, "u-1", std::nullopt};
    const std::string stored = session.storedForm();
    EXPECT_EQ(stored.find("email"), std::string::npos);
    EXPECT_NE(stored.find(R"("expiresAt":794050201.5)"), std::string::npos) << stored;
    EXPECT_EQ(UserSession::fromStoredForm(stored), session);

    for (const char* corrupt :
         {"", "{", R"({"accessToken":"a","refreshToken":"r","userID":"u"})",
          R"({"accessToken":"a","refreshToken":"r","expiresAt":"soon","userID":"u"})",
          R"({"accessToken":"a","refreshToken":"r","expiresAt":1,"userID":"u","email":3})"}) {
        EXPECT_FALSE(UserSession::fromStoredForm(corrupt)) << corrupt;
    }

    // The access token's claims; this payload needs "=" padding once re-encoded.
    const std::string payload =
        base64::encodeURLUnpadded(R"({"sub":"u-1","email":"a@b.c","exp":1772357400})");
    const JWTClaims claims("header." + payload + ".signature");
    EXPECT_EQ(claims.subject, "u-1");
    EXPECT_EQ(claims.email, "a@b.c");
    EXPECT_EQ(claims.expiry, start);

    const std::string twoPads = base64::encodeURLUnpadded(R"({"sub":"abc"})");
    ASSERT_EQ(twoPads.size() % 4, 2u);
    EXPECT_EQ(JWTClaims("h.." + twoPads + "..s").subject, "abc");

    for (const char* broken : {"nodot", "a.b!c.d", "a.e30x.c", "a.WzFd.c", ""}) {
        const JWTClaims empty(broken);
        EXPECT_FALSE(empty.subject || empty.email || empty.expiry) << broken;
    }
    EXPECT_FALSE(
        JWTClaims("a." + base64::encodeURLUnpadded(R"({"sub":1,"exp":"x"})") + ".c").subject);
}
