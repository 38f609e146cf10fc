#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/keychain_item.hpp>
#include <capturekit/platform/secret_service_store.hpp>
#include <capturekit/platform/uuid.hpp>

#include "support/child_process.hpp"
#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <set>
#include <thread>

using namespace capturekit;
using tarvo::test::ChildProcess;
using tarvo::test::fileMode;
using tarvo::test::TemporaryFolder;

namespace {

// What both stores keep: items apart by service and account, written, replaced and removed.
void expectItemsKeptApart(SecretStore& store, const std::string& service) {
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

TEST(FileSecretStore, ItemsRoundTripAndAreKeptApartByServiceAndAccount) {
    TemporaryFolder folder;
    FileSecretStore store(folder / "app" / "secrets.json");
    expectItemsKeptApart(store, "com.merrow.loft.auth");
    // Another store over the same file (another process) sees the same items.
    FileSecretStore reopened(folder / "app" / "secrets.json");
    EXPECT_EQ(KeychainItem("capture.device.token", "com.merrow.loft.auth.dev", reopened).read(),
              "staging token");
}

TEST_F(SecretServiceRoundTrip, ItemsOfEachEnvironmentAreWrittenReplacedAndRemovedApart) {
    expectItemsKeptApart(store, service);
}

TEST(FileSecretStore, TheFileIsPrivateReplacedWholeAndLeavesNoTemporaryFiles) {
    TemporaryFolder folder;
    // A folder open to others, and the temporary file of a write that a crash cut short.
    std::filesystem::create_directory(folder / "app");
    std::filesystem::permissions(folder / "app", std::filesystem::perms(0755));
    const auto abandoned = folder / "app" / ".secrets.json.x1Y2z3";
    std::ofstream(abandoned) << R"({"items":[]})";
    std::filesystem::last_write_time(abandoned, std::filesystem::file_time_type::clock::now() -
                                                    atomic_file::abandonedTemporaryAge * 2);
    FileSecretStore store(folder / "app" / "secrets.json");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(store.write("service", "account" + std::to_string(i), "secret"));
    }
    EXPECT_EQ(fileMode(folder / "app"), 0700u);
    EXPECT_EQ(fileMode(folder / "app" / "secrets.json"), 0600u);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "app")) {
        names.insert(entry.path().filename());
    }
    EXPECT_EQ(names, (std::set<std::string>{"secrets.json", "secrets.json.lock"}));
}

TEST(FileSecretStore, ADamagedFileIsSetAsideByTheNextWriteAndAnUnwritableOneSaysWhere) {
    TemporaryFolder folder;
    std::filesystem::create_directory(folder / "app");
    std::ofstream(folder / "app" / "secrets.json") << R"({"items":[{"service":"s"}]})";
    FileSecretStore store(folder / "app" / "secrets.json");
    const auto read = store.read("s", "a");
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, SecretStoreError::Kind::failed);
    EXPECT_NE(read.error().description().find("damaged"), std::string::npos);
    EXPECT_FALSE(store.remove("s", "a"));
    ASSERT_TRUE(store.write("s", "a", "fresh"));
    EXPECT_EQ(store.read("s", "a").value_or(std::nullopt), "fresh");
    EXPECT_TRUE(std::filesystem::exists(folder / "app" / "secrets.json.damaged"));

    std::ofstream(folder / "blocked") << "a file, not a folder";
    const auto written = FileSecretStore(folder / "blocked" / "secrets.json").write("s", "a", "x");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind, SecretStoreError::Kind::failed);
    EXPECT_NE(written.error().description().find("blocked"), std::string::npos);
}

TEST(FileSecretStore, HardeningRewritesOnlyAnItemOpenToOthers) {
    TemporaryFolder folder;
    FileSecretStore store(folder / "app" / "secrets.json");
    const KeychainItem item("capture.device.token", "com.merrow.loft.capture", store);
    const KeychainItem missing("nothing", "com.merrow.loft.capture", store);

    EXPECT_EQ(item.protection(), std::nullopt);
    EXPECT_FALSE(item.upgradeProtection());
    ASSERT_TRUE(item.write("vlt_token"));
    EXPECT_EQ(item.protection(), SecretProtection::ownerOnly);
    EXPECT_FALSE(item.upgradeProtection());

    std::filesystem::permissions(folder / "app" / "secrets.json", std::filesystem::perms(0644));
    std::filesystem::permissions(folder / "app", std::filesystem::perms(0755));
    EXPECT_EQ(item.protection(), SecretProtection::weakerThanOwner);
    EXPECT_EQ(missing.protection(), std::nullopt);
    EXPECT_FALSE(missing.upgradeProtection());

    EXPECT_TRUE(item.upgradeProtection());
    EXPECT_EQ(fileMode(folder / "app" / "secrets.json"), 0600u);
    EXPECT_EQ(fileMode(folder / "app"), 0700u);
    EXPECT_EQ(item.protection(), SecretProtection::ownerOnly);
    EXPECT_EQ(item.read(), "vlt_token");
}

TEST(FileSecretStore, WritersOnSeveralThreadsLoseNoItem) {
    TemporaryFolder folder;
    const auto file = folder / "app" / "secrets.json";
    const auto account = [](int t, int i) {
        return std::to_string(t) + "/" + std::to_string(i);
    };
    std::vector<std::jthread> writers;
    for (int t = 0; t < 6; ++t) {
        writers.emplace_back([&, t] {
            FileSecretStore store(file); // each its own handle, as separate processes would have
            for (int i = 0; i < 8; ++i) {
                EXPECT_TRUE(store.write("service", account(t, i), "secret"));
            }
        });
    }
    writers.clear();
    FileSecretStore store(file);
    for (int n = 0; n < 6 * 8; ++n) {
        EXPECT_TRUE(store.read("service", account(n / 8, n % 8)).value_or(std::nullopt)) << n;
    }
}

TEST(SecretStoreChoice, OnlyAnExplicitFileSettingChoosesThePlainFile) {
    for (const char* other : {"", "files", "keyring", "secret-service", "plain"}) {
        EXPECT_EQ(SecretStore::kindForSetting(other), SecretStore::Kind::secretService) << other;
    }
    EXPECT_EQ(SecretStore::kindForSetting(std::nullopt), SecretStore::Kind::secretService);
    EXPECT_EQ(SecretStore::kindForSetting(" File\n"), SecretStore::Kind::plainFile);
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
    const auto result = child.finish();
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ::close(listener);

    EXPECT_EQ(result.exitCode, 0);
    const SecretStoreError timedOut{SecretStoreError::Kind::timedOut, {}};
    EXPECT_EQ(result.output, timedOut.description() + "\n");
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}
