#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/keychain_item.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

using namespace capturekit;
using tarvo::test::fileMode;
using tarvo::test::TemporaryFolder;

TEST(FileSecretStore, ItemsRoundTripAndAreKeptApartByServiceAndAccount) {
    TemporaryFolder folder;
    FileSecretStore store(folder / "app" / "secrets.json");
    const KeychainItem session("capture.user.session", "com.merrow.loft.auth", store);
    const KeychainItem stagingSession("capture.user.session", "com.merrow.loft.auth.dev", store);
    const KeychainItem token("capture.device.token", "com.merrow.loft.auth", store);
    const std::string binary("\0\xff\n", 3);

    EXPECT_EQ(session.read(), std::nullopt);
    ASSERT_TRUE(session.write("first"));
    ASSERT_TRUE(session.write(R"({"accessToken":"a"})"));
    ASSERT_TRUE(stagingSession.write("staging"));
    ASSERT_TRUE(token.write(binary));
    EXPECT_EQ(session.read(), R"({"accessToken":"a"})");
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
