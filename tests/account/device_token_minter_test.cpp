#include "support/account_sandbox.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/device_token_minter.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/crypto.hpp>
#include <capturekit/platform/json.hpp>

#include "support/fixed_token.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace capturekit;
using tarvo::test::AccountSandbox;
using tarvo::test::FixedToken;
using tarvo::test::ScriptedTransport;

namespace {

std::string jwt(const std::string& claims) {
    return base64::encodeURLUnpadded(R"({"alg":"HS256"})") + "." +
           base64::encodeURLUnpadded(claims) + ".signature";
}

class DeviceTokenMinterTest : public ::testing::Test {
protected:
    std::expected<std::string, DeviceTokenMinter::Failure> mint(const AuthProvider& auth,
                                                                SecretStore* secrets = nullptr) {
        return DeviceTokenMinter::mint(
            "Kim’s laptop", "linux", {},
            {&transport, &auth, secrets ? secrets : &sandbox.secrets(), std::nullopt});
    }

    AccountSandbox sandbox;
    ScriptedTransport::Reply answer = ScriptedTransport::reply(201, "");
    ScriptedTransport transport{[this](const HttpRequest&, std::stop_token) {
        return answer;
    }};
};

} // namespace

TEST_F(DeviceTokenMinterTest, TheUserIDComesFromTheStoredSessionWhenTheTokenHasNoSubject) {
    ASSERT_TRUE(SessionStore::save(
        UserSession{"opaque", "r", dates::now(), "user-from-session", std::nullopt},
        sandbox.secrets()));
    ASSERT_TRUE(mint(FixedToken(jwt(R"({"email":"kim@example.test"})"))));
    EXPECT_EQ(json::parse(transport.requests().at(0).body)->at("user_id"), "user-from-session");
}

TEST_F(DeviceTokenMinterTest, WithoutABearerOrAUserNothingIsSent) {
    for (const std::optional<std::string>& bearer :
         {std::optional<std::string>(), std::optional<std::string>(" \t\n"),
          std::optional<std::string>("not-a-jwt")}) {
        const auto result = mint(FixedToken(bearer));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().description(),
                  "Sign in first — a capture token belongs to your account.");
    }
    EXPECT_TRUE(transport.requests().empty());
    EXPECT_FALSE(TokenStore::hasToken(sandbox.secrets()));
}

TEST_F(DeviceTokenMinterTest, RefusalsCarryTheServersTextOrTheFallbackAndStoreNothing) {
    const FixedToken auth(jwt(R"({"sub":"user-1"})"));
    const std::string longBody = R"({"code":"42501","message":")" + std::string(300, 'x') + R"("})";
    answer = ScriptedTransport::reply(403, longBody);
    EXPECT_EQ(mint(auth).error().description(), longBody.substr(0, 200));

    answer = ScriptedTransport::reply(500, "\xff\xfe");
    EXPECT_EQ(mint(auth).error().description(), "Couldn't register this device (500).");
    EXPECT_FALSE(TokenStore::hasToken(sandbox.secrets()));
}

TEST_F(DeviceTokenMinterTest, TransportAndKeyringFailuresAreToldApart) {
    const FixedToken auth(jwt(R"({"sub":"user-1"})"));
    ScriptedTransport offline([](const HttpRequest&, std::stop_token) {
        return std::expected<HttpResponse, HttpError>(
            std::unexpect, HttpError{HttpError::Kind::transport, "Connection refused"});
    });
    const auto failed = DeviceTokenMinter::mint(
        "n", "linux", {}, {&offline, &auth, &sandbox.secrets(), std::nullopt});
    ASSERT_FALSE(failed);
    ASSERT_TRUE(std::holds_alternative<HttpError>(failed.error().reason));
    EXPECT_EQ(failed.error().description(), "Connection refused");

    const std::filesystem::path blocker = sandbox.folder() / "blocker";
    std::ofstream(blocker) << "x";
    FileSecretStore unwritable(blocker / "secrets.json");
    const auto unsaved = mint(auth, &unwritable);
    ASSERT_FALSE(unsaved);
    EXPECT_EQ(unsaved.error().description(), "Couldn't save the token to the keyring.");
}
