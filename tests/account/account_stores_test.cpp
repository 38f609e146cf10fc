#include "support/account_sandbox.hpp"

#include <capturekit/account/device_token_minter.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/platform/crypto.hpp>
#include <capturekit/platform/host_name.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using tarvo::test::AccountSandbox;

namespace {

const UserSession session{"access", "refresh", *dates::parseISO8601("2026-03-01T09:30:00Z"),
                          "user-1", std::nullopt};

} // namespace

TEST(AccountStores, ASessionRoundTripsAndACorruptOneReadsAsSignedOutWithoutBeingDeleted) {
    AccountSandbox sandbox;
    FileSecretStore& secrets = sandbox.secrets();
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
}

TEST(AccountStores, TheTokenIdentityNamesTheTokenWithoutRevealingIt) {
    AccountSandbox sandbox;
    FileSecretStore& secrets = sandbox.secrets();
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

TEST(DeviceToken, IsVltAndTheUnpaddedBase64urlOf32RandomBytes) {
    std::vector<std::uint8_t> bytes(32, 0xff);
    bytes[0] = 0xfb;
    EXPECT_EQ(DeviceTokenMinter::tokenFromBytes(bytes), "vlt_-" + std::string(41, '_') + "8");
    EXPECT_EQ(DeviceTokenMinter::tokenFromBytes(bytes).size(), 47u);

    EXPECT_NE(DeviceTokenMinter::makeToken(), DeviceTokenMinter::makeToken());
}

TEST(HostName, ThePrettyNameComesFromMachineInfoWithItsQuotingUndone) {
    EXPECT_EQ(host::prettyHostname("PRETTY_HOSTNAME=\"Kim’s \\\"Laptop\\\"\"\nCHASSIS=laptop\n"),
              "Kim’s \"Laptop\"");
    EXPECT_EQ(host::prettyHostname("CHASSIS=laptop\nPRETTY_HOSTNAME='Work box'\n"), "Work box");
    EXPECT_EQ(host::prettyHostname("PRETTY_HOSTNAME=plain\n"), "plain");
    EXPECT_EQ(host::prettyHostname("PRETTY_HOSTNAME=\"  \"\n"), std::nullopt);
    EXPECT_EQ(host::prettyHostname("# PRETTY_HOSTNAME=commented\n"), std::nullopt);
    EXPECT_EQ(host::prettyHostname(""), std::nullopt);
    EXPECT_FALSE(DeviceTokenMinter::deviceName().empty());
}
