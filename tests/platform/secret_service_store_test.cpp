#include <capturekit/platform/keychain_item.hpp>
#include <capturekit/platform/secret_service_store.hpp>
#include <capturekit/platform/uuid.hpp>

#include "support/child_process.hpp"
#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

using namespace capturekit;
using tarvo::test::ChildProcess;
using tarvo::test::TemporaryFolder;

namespace {

// Items of a service no one else uses, removed again at the end.
class SecretServiceRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        const auto probe = store.read(service, "probe");
        if (!probe) {
            GTEST_SKIP() << "No Secret Service can be reached on the session bus ("
                         << probe.error().description()
                         << "); scripts/test starts one with gnome-keyring-daemon.";
        }
    }
    void TearDown() override {
        for (const char* account : {"capture.user.session", "capture.device.token"}) {
            store.remove(service, account);
            store.remove(service + ".dev", account);
        }
    }

    SecretServiceStore store;
    const std::string service = "tarvo.test." + makeUUIDString();
};

} // namespace

TEST_F(SecretServiceRoundTrip, ItemsOfEachEnvironmentAreWrittenReplacedAndRemovedApart) {
    const KeychainItem session("capture.user.session", service, store);
    const KeychainItem token("capture.device.token", service, store);
    const KeychainItem staging("capture.device.token", service + ".dev", store);
    const std::string binary("\0\x01\xfe\xff", 4);

    EXPECT_EQ(session.read(), std::nullopt);
    ASSERT_TRUE(session.write(R"({"accessToken":"a","userID":"u"})"));
    ASSERT_TRUE(token.write("vlt_first"));
    ASSERT_TRUE(token.write(binary));
    ASSERT_TRUE(staging.write("staging token"));
    EXPECT_EQ(session.read(), R"({"accessToken":"a","userID":"u"})");
    EXPECT_EQ(token.read(), binary);
    EXPECT_EQ(staging.read(), "staging token");
    EXPECT_EQ(token.protection(), SecretProtection::ownerOnly);
    EXPECT_FALSE(token.upgradeProtection());

    EXPECT_TRUE(token.remove());
    EXPECT_FALSE(token.remove());
    EXPECT_EQ(token.read(), std::nullopt);
    EXPECT_TRUE(session.read().has_value());
    EXPECT_EQ(staging.read(), "staging token");
}

// A bus that accepts the connection and then never answers stands in for a stuck keyring. Run
// in a child process, whose D-Bus connection is its own.
TEST(SecretServiceTimeLimit, AKeyringThatNeverAnswersTimesOutInsteadOfHanging) {
    TemporaryFolder folder;
    const auto socketPath = folder / "silent-bus";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    const auto started = std::chrono::steady_clock::now();
    auto child = ChildProcess::start(TARVO_STORE_HELPER, {"secret-read", "300"},
                                     {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + socketPath.string()});
    ASSERT_GT(child.pid, 0);
    const auto result = child.finish();
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ::close(listener);

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "timedOut\n");
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}
