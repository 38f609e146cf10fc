#include "support/account_sandbox.hpp"
#include "support/fixed_token.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/device_token_minter.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/crypto.hpp>
#include <capturekit/platform/host_name.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/notification_center.hpp>

#include <gtest/gtest.h>

#include <fstream>

using namespace capturekit;
using tarvo::test::AccountSandbox;
using tarvo::test::FixedToken;
using tarvo::test::ScriptedTransport;

namespace {

const UserSession session{"access", "refresh", *dates::parseISO8601("2026-03-01T09:30:00Z"),
                          "user-1", std::nullopt};

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

class AIConsentTest : public ::testing::Test {
protected:
    AIConsentTest() {
        for (const std::string_view name :
             {AIConsent::needsDecisionNotification, AIConsent::didChangeNotification}) {
            observations.push_back(NotificationCenter::shared().addObserver(
                std::string(name),
                [this](std::string_view posted) { posts.emplace_back(posted); }));
        }
    }

    AccountSandbox sandbox;
    std::vector<std::string> posts;
    std::vector<NotificationCenter::Observation> observations;
};

} // namespace

// The registration sends only the token's hash, and the user from the stored session when the
// bearer names none; the token is stored once registered.
TEST_F(DeviceTokenMinterTest, RegistersTheTokensHashForTheSessionsUserAndStoresTheToken) {
    ASSERT_TRUE(SessionStore::save(
        UserSession{"opaque", "r", dates::now(), "user-from-session", std::nullopt},
        sandbox.secrets()));
    const auto minted = mint(FixedToken(jwt(R"({"email":"kim@example.test"})")));
    ASSERT_TRUE(minted);
    EXPECT_EQ(*json::parse(transport.requests().at(0).body),
              (Json{{"user_id", "user-from-session"},
                    {"name", "Kim’s laptop"},
                    {"source", "linux"},
                    {"token_hash", crypto::sha256Hex(*minted)}}));
    EXPECT_EQ(TokenStore::read(sandbox.secrets()), *minted);
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

TEST_F(DeviceTokenMinterTest, RefusalsCarryTheServersTextOrTheFallbackAndKeepTheStoredToken) {
    const FixedToken auth(jwt(R"({"sub":"user-1"})"));
    ASSERT_TRUE(TokenStore::save("vlt_kept", sandbox.secrets()));
    const std::string longBody = R"({"code":"42501","message":")" + std::string(300, 'x') + R"("})";
    answer = ScriptedTransport::reply(403, longBody);
    EXPECT_EQ(mint(auth).error().description(), longBody.substr(0, 200));
    answer = ScriptedTransport::reply(500, "\xff\xfe");
    EXPECT_EQ(mint(auth).error().description(), "Couldn't register this device (500).");
    EXPECT_EQ(TokenStore::read(sandbox.secrets()), "vlt_kept");
}

TEST_F(DeviceTokenMinterTest, TransportAndKeyringFailuresAreToldApart) {
    const FixedToken auth(jwt(R"({"sub":"user-1"})"));
    answer = ScriptedTransport::refused("Connection refused");
    const auto failed = mint(auth);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(std::holds_alternative<HttpError>(failed.error().reason));
    EXPECT_EQ(failed.error().description(), "Connection refused");

    answer = ScriptedTransport::reply(201, "");
    std::ofstream(sandbox.folder() / "blocker") << "x";
    FileSecretStore unwritable(sandbox.folder() / "blocker" / "secrets.json");
    EXPECT_EQ(mint(auth, &unwritable).error().description(),
              "Couldn't save the token to the keyring.");
}

TEST(AccountStores, DamagedItemsReadAsAbsentAndTheTokenIdentityHidesTheToken) {
    AccountSandbox sandbox;
    FileSecretStore& secrets = sandbox.secrets();
    // A damaged session reads as signed out and is left for a look.
    EXPECT_EQ(SessionStore::read(secrets), std::nullopt);
    ASSERT_TRUE(SessionStore::save(session, secrets));
    EXPECT_EQ(SessionStore::read(secrets), session);
    for (const std::string corrupt : {"{", R"({"accessToken":"a"})", "[]", "\xff\xfe"}) {
        ASSERT_TRUE(SessionStore::item(secrets).write(corrupt));
        EXPECT_EQ(SessionStore::read(secrets), std::nullopt) << corrupt;
        EXPECT_EQ(SessionStore::item(secrets).read(), corrupt);
    }
    EXPECT_TRUE(SessionStore::remove(secrets));
    EXPECT_FALSE(SessionStore::remove(secrets));

    // The token's identity names it without revealing it.
    EXPECT_FALSE(TokenStore::hasToken(secrets));
    EXPECT_EQ(TokenStore::identity(secrets), std::nullopt);

    const std::string token = "vlt_abc";
    ASSERT_TRUE(TokenStore::save(token, secrets));
    EXPECT_EQ(TokenStore::read(secrets), token);
    EXPECT_EQ(TokenStore::identity(secrets), "token:" + crypto::sha256Hex(token).substr(0, 16));

    ASSERT_TRUE(TokenStore::item(secrets).write("\xc3\x28"));
    EXPECT_FALSE(TokenStore::hasToken(secrets));
    EXPECT_EQ(TokenStore::identity(secrets), std::nullopt);
}

TEST(DeviceToken, IsVltAndBase64urlOf32RandomBytesAndTheNameIsTheMachinesPrettyName) {
    std::vector<std::uint8_t> bytes(32, 0xff);
    bytes[0] = 0xfb;
    EXPECT_EQ(DeviceTokenMinter::tokenFromBytes(bytes), "vlt_-" + std::string(41, '_') + "8");
    EXPECT_EQ(DeviceTokenMinter::tokenFromBytes(bytes).size(), 47u);

    EXPECT_NE(DeviceTokenMinter::makeToken(), DeviceTokenMinter::makeToken());

    EXPECT_EQ(host::prettyHostname("PRETTY_HOSTNAME=\"Kim’s \\\"Laptop\\\"\"\nCHASSIS=laptop\n"),
              "Kim’s \"Laptop\"");
    EXPECT_EQ(host::prettyHostname("CHASSIS=laptop\nPRETTY_HOSTNAME='Work box'\n"), "Work box");
    EXPECT_EQ(host::prettyHostname("PRETTY_HOSTNAME=plain\n"), "plain");
    EXPECT_EQ(host::prettyHostname("PRETTY_HOSTNAME=\"  \"\n"), std::nullopt);
    EXPECT_EQ(host::prettyHostname("# PRETTY_HOSTNAME=commented\n"), std::nullopt);
    EXPECT_EQ(host::prettyHostname(""), std::nullopt);
    EXPECT_FALSE(DeviceTokenMinter::deviceName().empty());
}

TEST_F(AIConsentTest, AnAnswerIsKeptAnnouncedAndStopsTheQuestionUntilReset) {
    const auto expectUndecided = [&] {
        EXPECT_FALSE(AIConsent::hasDecided());
        EXPECT_FALSE(AIConsent::isGranted());
        EXPECT_TRUE(AIConsent::suggestionsEnabled());
        EXPECT_FALSE(AIConsent::mayRequestSuggestions());
        AIConsent::askIfUndecided();
        EXPECT_EQ(posts.back(), "AIConsent.needsDecision");
    };
    expectUndecided();

    AIConsent::record(true);
    EXPECT_TRUE(AIConsent::hasDecided());
    EXPECT_TRUE(AIConsent::isGranted());
    EXPECT_TRUE(AIConsent::mayRequestSuggestions());
    AIConsent::setSuggestionsEnabled(false);
    EXPECT_FALSE(AIConsent::mayRequestSuggestions());
    AIConsent::record(false);
    EXPECT_TRUE(AIConsent::hasDecided());
    EXPECT_FALSE(AIConsent::isGranted());
    AIConsent::askIfUndecided();
    EXPECT_EQ(posts, (std::vector<std::string>{"AIConsent.needsDecision", "AIConsent.didChange",
                                               "AIConsent.didChange"}));

    AIConsent::reset(); // announced too
    expectUndecided();
    EXPECT_EQ(posts.size(), 5u);
}

TEST_F(AIConsentTest, ANonBooleanSuggestionsValueReadsAsOnAndAnotherProcessesAnswerIsSeen) {
    const Preferences shared = CaptureConfig::appGroupPreferences();
    shared.set("aiSuggestionsEnabled", std::string("no"));
    EXPECT_TRUE(AIConsent::suggestionsEnabled());
    shared.set("aiConsentGranted", std::int64_t{1});
    EXPECT_FALSE(AIConsent::isGranted());

    // Another program of the suite answers through its own connection to the same store.
    Preferences(CaptureConfig::appGroupID()).set("aiConsentGranted", true);
    EXPECT_TRUE(AIConsent::isGranted());
}
