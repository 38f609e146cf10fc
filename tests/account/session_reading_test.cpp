#include <capturekit/account/gotrue_reply.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/account/user_session.hpp>
#include <capturekit/platform/base64.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using namespace std::chrono_literals;

namespace {

const Date requestedAt = *dates::parseISO8601("2026-03-01T09:30:00Z");

std::expected<UserSession, AuthError> read(int status, const std::string& body) {
    return readTokenReply(HttpResponse{status, {}, body}, requestedAt);
}

// A reply with both tokens, the given fields and a user.
std::string tokens(const std::string& fields) {
    return R"({"access_token":"a","refresh_token":"r",)" + fields +
           R"("user":{"id":"u-1","email":"a@b.c"}})";
}

} // namespace

TEST(TokenReply, ExpiryComesFromExpiresAtThenExpiresInThenAnHour) {
    EXPECT_EQ(read(200, tokens(R"("expires_in":60,"expires_at":1772357400,)")),
              (UserSession{"a", "r", requestedAt, "u-1", "a@b.c"}));
    EXPECT_EQ(read(200, tokens(R"("expires_in":1800,)")).value().expiresAt, requestedAt + 30min);
    EXPECT_EQ(read(201, tokens(R"("extra":[1],)")).value().expiresAt, requestedAt + 1h);
}

TEST(TokenReply, SuccessWithoutAUserOrWithWrongTypesIsMalformed) {
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
}

// A wrong password's reply is read in the sign-in test against the dev backend.
TEST(TokenReply, FailuresMapToCredentialsOrServerErrorsWithTheServersMessage) {
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
