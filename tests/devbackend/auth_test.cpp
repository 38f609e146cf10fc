// Sign-in, refresh-token rotation and logout against the auth service, over HTTP.

#include "devbackend/shorthands.hpp"

#include <capturekit/platform/base64.hpp>

#include <chrono>
#include <ctime>
#include <thread>

namespace tarvo::test {
namespace {

constexpr const char* password = "correct horse";

std::string newUser(BackendClient& client) {
    const std::string email = BackendClient::uniqueEmail();
    client.addUser(email, password);
    return email;
}

Reply signInReply(BackendClient& client, const Json& body) {
    return client.post("/auth/v1/token?grant_type=password", body);
}

void expectAuthError(const Reply& reply, int status, const std::string& code) {
    EXPECT_EQ(reply.status, status) << reply.body;
    EXPECT_EQ(reply.json().value("error_code", ""), code) << reply.body;
    EXPECT_TRUE(reply.json()["msg"].is_string()) << reply.body;
}

using AuthTest = BackendTest;

// The client's sign-in tests read the session, its user and its expiry; these are the GoTrue
// forms around them.
TEST_F(AuthTest, PasswordGrantGivesASessionWithSignedClaims) {
    const std::string email = newUser(client);
    // Addresses compare without case and surrounding space.
    const Reply reply =
        signInReply(client, Json{{"email", "  " + email + " "}, {"password", password}});
    ASSERT_EQ(reply.status, 200) << reply.body;
    const Json body = reply.json();
    EXPECT_EQ(body["token_type"], "bearer");
    EXPECT_EQ(body["expires_in"], 3600);
    const Json claims = jwtClaims(body["access_token"]);
    EXPECT_EQ(claims["aud"], "authenticated");
    EXPECT_EQ(claims["role"], "authenticated");
    EXPECT_EQ(claims["exp"], body["expires_at"]);
    const Reply user = currentUser(client, body["access_token"]);
    EXPECT_EQ(user.status, 200);
    EXPECT_EQ(user.json()["id"], body["user"]["id"]);
}

// Wrong and unknown credentials are refused in the client's sign-in tests.
TEST_F(AuthTest, MalformedGrantsAreRefused) {
    const std::string email = newUser(client);
    expectAuthError(signInReply(client, Json{{"email", email}}), 400, "validation_failed");
    expectAuthError(signInReply(client, Json{{"email", 42}, {"password", password}}), 400,
                    "validation_failed");
    expectAuthError(client.send("POST", "/auth/v1/token?grant_type=password", "{\"email\":"), 400,
                    "bad_json");
    expectAuthError(client.post("/auth/v1/token?grant_type=magic", Json::object()), 400,
                    "validation_failed");
    expectAuthError(client.post("/auth/v1/token", Json{{"email", email}, {"password", password}}),
                    400, "validation_failed");
}

TEST_F(AuthTest, RefreshTokensRotateAndReuseRevokesTheFamily) {
    const Session first = client.signIn(newUser(client), password);

    const Reply rotated = client.refresh(first.refreshToken);
    ASSERT_EQ(rotated.status, 200) << rotated.body;
    const std::string second = rotated.json()["refresh_token"];
    EXPECT_NE(second, first.refreshToken);
    EXPECT_EQ(rotated.json()["user"]["id"], first.userID);

    // The parent of the active token (a client that lost the reply) gets the active session.
    const Reply retried = client.refresh(first.refreshToken);
    ASSERT_EQ(retried.status, 200) << retried.body;
    EXPECT_EQ(retried.json()["refresh_token"], second);

    const Reply again = client.refresh(second);
    ASSERT_EQ(again.status, 200);
    const std::string third = again.json()["refresh_token"];

    // The grandparent is a stolen token: the whole family goes.
    const Reply stolen = client.refresh(first.refreshToken);
    expectAuthError(stolen, 400, "refresh_token_already_used");
    EXPECT_EQ(stolen.json()["msg"], "Invalid Refresh Token: Already Used");
    expectAuthError(client.refresh(third), 400, "refresh_token_already_used");

    const Reply unknown = client.refresh("never-issued");
    expectAuthError(unknown, 400, "refresh_token_not_found");
    EXPECT_EQ(unknown.json()["msg"], "Invalid Refresh Token: Refresh Token Not Found");
}

TEST_F(AuthTest, ConcurrentRefreshesOfOneTokenNeverForkTheFamily) {
    const Session session = client.signIn(newUser(client), password);
    const auto tokens = inParallel(backend, 6, [&](BackendClient& own) {
        return own.refresh(session.refreshToken).json().value("refresh_token", "");
    });
    EXPECT_THAT(tokens, testing::Each(tokens.front()));
    EXPECT_EQ(client.refresh(tokens.front()).status, 200);
}

TEST_F(AuthTest, LogoutEndsTheChosenSessions) {
    const std::string email = newUser(client);
    const Session phone = client.signIn(email, password);
    const Session laptop = client.signIn(email, password);
    const Session tablet = client.signIn(email, password);
    const auto logout = [&](const Session& session, const std::string& scope) {
        return client.send("POST", "/auth/v1/logout" + scope, {}, bearer(session.accessToken));
    };

    EXPECT_EQ(logout(phone, "?scope=local").status, 204);
    expectAuthError(client.refresh(phone.refreshToken), 400, "refresh_token_not_found");
    EXPECT_EQ(client.refresh(laptop.refreshToken).status, 200);

    EXPECT_EQ(logout(laptop, "?scope=others").status, 204);
    expectAuthError(client.refresh(tablet.refreshToken), 400, "refresh_token_not_found");

    const Session again = client.signIn(email, password);
    EXPECT_EQ(logout(again, "").status, 204);
    EXPECT_EQ(client.refresh(laptop.refreshToken).status, 400) << "a global logout ends all";

    expectAuthError(client.send("POST", "/auth/v1/logout"), 401, "no_authorization");
    expectAuthError(client.send("POST", "/auth/v1/logout", {}, bearer("x.y.z")), 403, "bad_jwt");
}

TEST(AuthExpiryTest, AccessTokensExpireAfterTheConfiguredLifetime) {
    DevBackendProcess backend({"--access-ttl", "1"});
    BackendClient client(backend);
    const Reply signedIn =
        signInReply(client, Json{{"email", newUser(client)}, {"password", password}});
    ASSERT_EQ(signedIn.status, 200);
    EXPECT_EQ(signedIn.json()["expires_in"], 1);
    const std::string accessToken = signedIn.json()["access_token"];

    const auto expiresAt = std::chrono::system_clock::from_time_t(
        static_cast<std::time_t>(jwtClaims(accessToken)["exp"].get<double>()));
    std::this_thread::sleep_until(expiresAt + std::chrono::milliseconds(50));
    const Reply expired = currentUser(client, accessToken);
    EXPECT_EQ(expired.status, 403);
    EXPECT_NE(expired.json()["msg"].get<std::string>().find("expired"), std::string::npos);

    const Reply refreshed = client.refresh(signedIn.json()["refresh_token"]);
    ASSERT_EQ(refreshed.status, 200);
    EXPECT_EQ(currentUser(client, refreshed.json()["access_token"]).status, 200);
}

TEST(AuthForgeryTest, TokensNotSignedByThisDatabaseAreRefused) {
    DevBackendProcess backend;
    DevBackendProcess other;
    BackendClient client(backend);
    BackendClient otherClient(other);
    const std::string email = newUser(client);
    otherClient.addUser(email, password);
    const Session genuine = client.signIn(email, password);
    const Session foreign = otherClient.signIn(email, password);

    const std::string& token = genuine.accessToken;
    Json claims = jwtClaims(token);
    claims["sub"] = "00000000-0000-4000-8000-000000000000";
    const std::string payload =
        capturekit::base64::encodeURLUnpadded(capturekit::json::dump(claims));
    const std::string alteredPayload =
        token.substr(0, token.find('.')) + "." + payload + token.substr(token.rfind('.'));
    const std::string unsigned_ =
        capturekit::base64::encodeURLUnpadded(R"({"alg":"none","typ":"JWT"})") + "." + payload +
        ".";
    for (const std::string& forged : {foreign.accessToken, alteredPayload, unsigned_}) {
        expectAuthError(currentUser(client, forged), 403, "bad_jwt");
    }
}

} // namespace
} // namespace tarvo::test
