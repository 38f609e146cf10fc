#include <capturekit/platform/preferences.hpp>

#include "support/child_process.hpp"
#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <thread>

using namespace capturekit;
using tarvo::test::ChildProcess;
using tarvo::test::fileMode;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

namespace {

using StringList = std::vector<std::string>;

Preferences::Change appending(std::string element) {
    return [element = std::move(element)](std::optional<PreferenceValue> stored) {
        const auto* existing = stored ? std::get_if<StringList>(&*stored) : nullptr;
        StringList list = existing ? *existing : StringList{};
        list.push_back(element);
        return std::optional<PreferenceValue>(std::move(list));
    };
}

// Writes a row behind the store's back, as a hand edit or another program would.
void insertRaw(const std::filesystem::path& database, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

} // namespace

TEST(Preferences, EveryTypeReadsBackExactlyAndWhatDoesNotFitItsTypeReadsAsAbsent) {
    TemporaryFolder folder;
    const Preferences preferences("com.example.types", folder.path());
    const std::map<std::string, PreferenceValue> values{
        {"flag", false},
        {"count", std::int64_t{-9'007'199'254'740'993}},
        {"ratio", 0.1},
        {"infinite", -std::numeric_limits<double>::infinity()},
        {"text", std::string("a\0b ✓", 7)},
        {"emptyText", std::string()},
        {"list", StringList{"x", "", "ünï\ncode"}},
        {"emptyList", StringList{}},
        {"date", Date{dates::referenceDate + std::chrono::microseconds(812'345'678'901'234)}},
        {"bytes", PreferenceBytes{0, 255, 0, 7}},
        {"emptyBytes", PreferenceBytes{}}};
    for (const auto& [key, value] : values) {
        ASSERT_TRUE(preferences.set(key, value)) << key;
    }
    ASSERT_TRUE(preferences.set("nan", std::nan("")));

    // Another handle of the domain sees the same values with the same types.
    const Preferences again("com.example.types", folder.path());
    for (const auto& [key, value] : values) {
        EXPECT_EQ(again.value(key), value) << key;
    }
    EXPECT_TRUE(std::isnan(again.get<double>("nan").value_or(0)));
    EXPECT_FALSE(preferences.value("never set"));
    EXPECT_EQ(preferences.keys().size(), values.size() + 1);
    EXPECT_FALSE(Preferences("group.com.example", folder.path()).value("flag"));

    // A wrong type reads as absent; a set replaces the type; removing twice succeeds.
    EXPECT_FALSE(preferences.get<std::string>("flag"));
    ASSERT_TRUE(preferences.set("flag", std::string("now text")));
    EXPECT_FALSE(preferences.get<bool>("flag"));
    EXPECT_EQ(preferences.get<std::string>("flag"), "now text");
    EXPECT_TRUE(preferences.remove("flag"));
    EXPECT_TRUE(preferences.remove("flag"));
    EXPECT_FALSE(preferences.value("flag"));

    // A hand-edited row that does not fit its type reads as absent and spoils nothing else.
    EXPECT_EQ(*preferences.databasePath(), folder / "com.example.types" / "preferences.sqlite3");
    insertRaw(*preferences.databasePath(),
              "INSERT INTO preferences VALUES ('badCount', 'integer', 'twelve'),"
              "('badList', 'stringList', '[\"a\", 2]'), ('odd', 'colour', 1),"
              "('badFlag', 'bool', x'01')");
    for (const char* key : {"badCount", "badList", "odd", "badFlag"}) {
        EXPECT_FALSE(preferences.value(key)) << key;
    }
    EXPECT_EQ(preferences.value("count"), values.at("count"));
}

TEST(Preferences, TheDefaultBaseIsTheConfigHomeAndTheStoreIsPrivate) {
    TemporaryFolder folder;
    const ScopedEnvironmentVariable config("XDG_CONFIG_HOME", (folder / "config").c_str());
    const Preferences preferences("com.example.private");
    ASSERT_TRUE(preferences.set("k", true));
    const auto domain = folder / "config" / "com.example.private";
    EXPECT_EQ(fileMode(domain), 0700u);
    for (const char* file :
         {"preferences.sqlite3", "preferences.sqlite3-wal", "preferences.sqlite3-shm"}) {
        EXPECT_EQ(fileMode(domain / file), 0600u) << file;
    }

    // A store left open to others by an older version is closed up when opened.
    const auto older = folder / "com.example.older";
    std::filesystem::create_directory(older);
    insertRaw(older / "preferences.sqlite3", "CREATE TABLE t (x)");
    std::filesystem::permissions(older, std::filesystem::perms(0755));
    std::filesystem::permissions(older / "preferences.sqlite3", std::filesystem::perms(0644));
    EXPECT_TRUE(Preferences("com.example.older", folder.path()).set("k", true));
    EXPECT_EQ(fileMode(older), 0700u);
    EXPECT_EQ(fileMode(older / "preferences.sqlite3"), 0600u);
}

TEST(Preferences, UpdateBuildsOnTheStoredValueAndAThrowingChangeChangesNothing) {
    TemporaryFolder folder;
    const Preferences preferences("com.example.update", folder.path());
    ASSERT_TRUE(preferences.update("list", appending("kept")));
    EXPECT_THROW(
        preferences.update("list",
                           [&](std::optional<PreferenceValue>) -> std::optional<PreferenceValue> {
                               preferences.set("list", StringList{"half-done"});
                               throw std::runtime_error("change failed");
                           }),
        std::runtime_error);
    EXPECT_TRUE(preferences.update("list", appending("next")));
    EXPECT_EQ(preferences.get<StringList>("list"), (StringList{"kept", "next"}));

    // An absent result removes the key.
    ASSERT_TRUE(preferences.update("list", [](auto) { return std::optional<PreferenceValue>(); }));
    EXPECT_FALSE(preferences.value("list"));
}

TEST(Preferences, AStoreThatCannotBeOpenedGivesAbsentAndDropsWrites) {
    TemporaryFolder folder;
    // A file where the domain folder should be; a file that is not a database; a FIFO in the
    // database's place (refused, not waited on); a bad name.
    std::ofstream(folder / "com.example.blocked") << "not a folder";
    std::filesystem::create_directory(folder / "com.example.damaged");
    std::ofstream(folder / "com.example.damaged" / "preferences.sqlite3") << std::string(4096, 'x');
    std::filesystem::create_directory(folder / "com.example.fifo");
    ASSERT_EQ(::mkfifo((folder / "com.example.fifo" / "preferences.sqlite3").c_str(), 0600), 0);
    for (const char* domain :
         {"com.example.blocked", "com.example.damaged", "com.example.fifo", "../escape", ""}) {
        SCOPED_TRACE(domain);
        const Preferences preferences(domain, folder.path());
        EXPECT_FALSE(preferences.isAvailable());
        EXPECT_FALSE(preferences.set("k", true));
        EXPECT_FALSE(preferences.value("k"));
        EXPECT_FALSE(preferences.remove("k"));
        EXPECT_FALSE(preferences.update("k", [](auto) {
            ADD_FAILURE() << "the change ran";
            return std::optional<PreferenceValue>(true);
        }));
        EXPECT_TRUE(preferences.keys().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path().parent_path() / "escape"));
}

TEST(Preferences, ConcurrentUpdatesFromThreadsLoseNothing) {
    TemporaryFolder folder;
    constexpr int threads = 4;
    constexpr int perThread = 100;
    std::vector<std::jthread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            const Preferences preferences("com.example.threads", folder.path());
            for (int i = 0; i < perThread; ++i) {
                preferences.update("list", appending(std::to_string(t) + "-" + std::to_string(i)));
            }
        });
    }
    workers.clear();
    const auto list = Preferences("com.example.threads", folder.path()).get<StringList>("list");
    ASSERT_TRUE(list);
    EXPECT_EQ(std::set<std::string>(list->begin(), list->end()).size(), threads * perThread);
}

TEST(Preferences, TwoProcessesAppendingToOneListLoseNothing) {
    TemporaryFolder folder;
    std::vector<ChildProcess> appenders;
    for (const char* prefix : {"first-", "second-"}) {
        appenders.push_back(
            ChildProcess::start(TARVO_STORE_HELPER, {"append", folder.path().string(),
                                                     "group.com.example", "list", prefix, "500"}));
    }
    for (auto& appender : appenders) {
        EXPECT_EQ(appender.finish().exitCode, 0);
    }

    const auto list = Preferences("group.com.example", folder.path()).get<StringList>("list");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), 1000u);
    EXPECT_EQ(std::set<std::string>(list->begin(), list->end()).size(), 1000u);
    // Each process's own appends keep their order.
    std::vector<int> firstOrder;
    for (const auto& element : *list) {
        if (element.starts_with("first-")) {
            firstOrder.push_back(std::stoi(element.substr(6)));
        }
    }
    EXPECT_TRUE(std::ranges::is_sorted(firstOrder));
}
