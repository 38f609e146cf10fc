#include <capturekit/account/gotrue_reply.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/account/user_session.hpp>
#include <capturekit/platform/base64.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using namespace std::chrono_literals;

namespace {

const Date requestedAt = *dates::parseISO8601("2026-03-01T09:30:00Z");

std::expected<HttpResponse, HttpError> reply(int status, std::string body) {
    return HttpResponse{status, {}, std::move(body)};
}

const std::string userJSON = R"("user":{"id":"u-1","email":"a@b.c"})";

} // namespace

TEST(TokenReply, ExpiryComesFromExpiresAtThenExpiresInThenAnHour) {
    const auto both = readTokenReply(
        reply(
            200,
            R"({"access_token":"a","refresh_token":"r","expires_in":60,"expires_at":1772357400,)" +
                userJSON + "}"),
        requestedAt);
    ASSERT_TRUE(both);
    EXPECT_EQ(dates::iso8601(both->expiresAt), "2026-03-01T09:30:00Z");
    EXPECT_EQ(both->userID, "u-1");
    EXPECT_EQ(both->email, "a@b.c");

    const auto duration =
        readTokenReply(reply(200, R"({"access_token":"a","refresh_token":"r","expires_in":3600,)" +
                                      userJSON + "}"),
                       requestedAt);
    ASSERT_TRUE(duration);
    EXPECT_EQ(duration->expiresAt, requestedAt + 1h);

    const auto neither = readTokenReply(
        reply(201, R"({"access_token":"a","refresh_token":"r","extra":[1],)" + userJSON + "}"),
        requestedAt);
    ASSERT_TRUE(neither);
    EXPECT_EQ(neither->expiresAt, requestedAt + 3600s);
}

TEST(TokenReply, SuccessWithoutAUserOrWithWrongTypesIsMalformed) {
    for (const std::string& body : std::vector<std::string>{
             R"({"access_token":"a","refresh_token":"r"})",
             R"({"access_token":"a","refresh_token":"r","expires_in":"3600",)" + userJSON + "}",
             R"({"access_token":"a","refresh_token":"r","expires_in":1.5,)" + userJSON + "}",
             R"({"access_token":"a","refresh_token":"r","user":{"email":"x"}})",
             R"({"access_token":"a","user":{"id":"u"}})", std::string("not json"),
             std::string("[]")}) {
        const auto result = readTokenReply(reply(200, body), requestedAt);
        ASSERT_FALSE(result) << body;
        EXPECT_EQ(result.error(), AuthError::malformedResponse()) << body;
        EXPECT_EQ(result.error().description(), "The server sent something unexpected.");
    }
}

// A wrong password's reply is read in the sign-in test against the dev backend.
TEST(TokenReply, FailuresMapToCredentialsOrServerErrorsWithTheServersMessage) {
    EXPECT_EQ(readTokenReply(reply(401, ""), requestedAt).error(),
              AuthError::invalidCredentials("Sign-in failed (HTTP 401)."));
    EXPECT_EQ(readTokenReply(reply(500, ""), requestedAt).error(),
              AuthError::server(500, "Sign-in failed (HTTP 500)."));
    EXPECT_EQ(readTokenReply(reply(422, R"({"error":"invalid_grant"})"), requestedAt).error(),
              AuthError::server(422, "invalid_grant"));
    EXPECT_EQ(readTokenReply(reply(401, "{}"), requestedAt).error(),
              AuthError::server(401, "Sign-in failed (HTTP 401)."));
    // error_description wins over msg, message and error; a reused refresh token is a rejection.
    EXPECT_EQ(
        readTokenReply(reply(400, R"({"error":"x","message":"m","msg":"g","error_description":"d",
                                            "error_code":"refresh_token_already_used"})"),
                       requestedAt)
            .error(),
        AuthError::invalidCredentials("d"));
    // A failure body with a wrong-typed field is no failure object at all.
    EXPECT_EQ(readTokenReply(reply(400, R"({"error":5})"), requestedAt).error(),
              AuthError::invalidCredentials("Sign-in failed (HTTP 400)."));

    const auto offline = readTokenReply(
        std::unexpected(HttpError{HttpError::Kind::transport, "Failed to connect to host"}),
        requestedAt);
    EXPECT_EQ(offline.error().description(),
              "Couldn’t reach the server — Failed to connect to host");
}

TEST(UserSession, StoredFormRoundTripsAndRejectsCorruptRecords) {
    const UserSession session{"acc", "ref", requestedAt + 1500ms, "u-1", std::nullopt};
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
}

TEST(JWTClaims, ReadsPayloadClaimsAndToleratesBrokenTokens) {
    // {"sub":"u-1","email":"a@b.c","exp":1772357400} needs "=" padding once re-encoded.
    const std::string payload =
        base64::encodeURLUnpadded(R"({"sub":"u-1","email":"a@b.c","exp":1772357400})");
    const JWTClaims claims("header." + payload + ".signature");
    EXPECT_EQ(claims.subject, "u-1");
    EXPECT_EQ(claims.email, "a@b.c");
    ASSERT_TRUE(claims.expiry);
    EXPECT_EQ(dates::iso8601(*claims.expiry), "2026-03-01T09:30:00Z");

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
