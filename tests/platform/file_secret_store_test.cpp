#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/keychain_item.hpp>
#include <capturekit/platform/secret_service_store.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

using namespace capturekit;
using tarvo::test::fileMode;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

namespace {

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

} // namespace

TEST(FileSecretStore, ItemsRoundTripAndAreKeptApartByServiceAndAccount) {
    TemporaryFolder folder;
    FileSecretStore store(folder / "app" / "secrets.json");
    const KeychainItem session("capture.user.session", "com.merrow.loft.auth", store);
    const KeychainItem stagingSession("capture.user.session", "com.merrow.loft.auth.dev", store);
    const KeychainItem token("capture.device.token", "com.merrow.loft.auth", store);

    EXPECT_EQ(session.read(), std::nullopt);
    ASSERT_TRUE(session.write(R"({"accessToken":"a"})"));
    ASSERT_TRUE(stagingSession.write("staging"));
    const std::string binary("\0\xff\n", 3);
    ASSERT_TRUE(token.write(binary));

    EXPECT_EQ(session.read(), R"({"accessToken":"a"})");
    EXPECT_EQ(stagingSession.read(), "staging");
    EXPECT_EQ(token.read(), binary);

    ASSERT_TRUE(session.write("replaced"));
    EXPECT_EQ(session.read(), "replaced");
    EXPECT_TRUE(session.remove());
    EXPECT_FALSE(session.remove());
    EXPECT_EQ(session.read(), std::nullopt);
    EXPECT_EQ(stagingSession.read(), "staging");

    // Another store over the same file (another process) sees the same items.
    FileSecretStore reopened(folder / "app" / "secrets.json");
    EXPECT_EQ(KeychainItem("capture.device.token", "com.merrow.loft.auth", reopened).read(),
              binary);
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
    EXPECT_EQ(folderEntries(folder / "app"),
              (std::vector<std::string>{"secrets.json", "secrets.json.lock"}));
}

TEST(FileSecretStore, ADamagedFileFailsReadsAndIsSetAsideByTheNextWrite) {
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
}

TEST(FileSecretStore, AnUnwritableFolderIsAFailureThatSaysWhere) {
    TemporaryFolder folder;
    std::ofstream(folder / "blocked") << "a file, not a folder";
    FileSecretStore store(folder / "blocked" / "secrets.json");
    const auto written = store.write("s", "a", "x");
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
    std::vector<std::jthread> writers;
    for (int t = 0; t < 6; ++t) {
        writers.emplace_back([&, t] {
            FileSecretStore store(file); // each its own handle, as separate processes would have
            for (int i = 0; i < 8; ++i) {
                EXPECT_TRUE(
                    store.write("service", std::to_string(t) + "/" + std::to_string(i), "secret"));
            }
        });
    }
    writers.clear();
    FileSecretStore store(file);
    for (int t = 0; t < 6; ++t) {
        for (int i = 0; i < 8; ++i) {
            EXPECT_TRUE(store.read("service", std::to_string(t) + "/" + std::to_string(i))
                            .value_or(std::nullopt))
                << t << "/" << i;
        }
    }
}

TEST(SecretStoreChoice, OnlyAnExplicitFileSettingChoosesThePlainFile) {
    for (const char* other : {"", "files", "keyring", "secret-service", "plain"}) {
        EXPECT_EQ(SecretStore::kindForSetting(other), SecretStore::Kind::secretService) << other;
    }
    EXPECT_EQ(SecretStore::kindForSetting(std::nullopt), SecretStore::Kind::secretService);
    EXPECT_EQ(SecretStore::kindForSetting(" File\n"), SecretStore::Kind::plainFile);
}

TEST(SecretServiceStore, WithoutASessionBusWritesFailAtOnceAndNameTheOptIn) {
    const ScopedEnvironmentVariable bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    TemporaryFolder runtime; // a runtime folder without a bus socket
    const ScopedEnvironmentVariable runtimeDir("XDG_RUNTIME_DIR", runtime.path().c_str());
    ASSERT_FALSE(SecretServiceStore::hasSessionBus());

    SecretServiceStore store;
    const KeychainItem item("capture.device.token", "tarvo.test", store);
    const auto started = std::chrono::steady_clock::now();
    const auto written = item.write("secret");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind, SecretStoreError::Kind::unavailable);
    EXPECT_NE(written.error().description().find("TARVO_SECRET_STORE=file"), std::string::npos);

    EXPECT_EQ(item.read(), std::nullopt);
    EXPECT_FALSE(item.remove());
    EXPECT_EQ(item.lookup().error().kind, SecretStoreError::Kind::unavailable);
}
