// The command line: options, the demo user, persistence across restarts and clean shutdown.

#include "devbackend/shorthands.hpp"
#include "support/child_process.hpp"
#include "support/temporary_folder.hpp"

#include <chrono>
#include <future>

namespace tarvo::test {
namespace {

using namespace std::chrono_literals;

ChildProcess::Result run(const std::vector<std::string>& arguments) {
    return ChildProcess::start(DevBackendProcess::executable(), arguments, {},
                               ChildProcess::Errors::withOutput)
        .finish();
}

TEST(CommandLineTest, HelpAndUsageErrors) {
    const auto help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--access-ttl"), std::string::npos);

    // clang-format off
    const std::vector<std::vector<std::string>> mistakes = {
        {"--bogus"}, {"--port", "70000"}, {"--port"}, {"--access-ttl", "0"},
        {"--max-body", "lots"}};
    // clang-format on
    for (const auto& arguments : mistakes) {
        const auto usage = run(arguments);
        EXPECT_EQ(usage.exitCode, 2) << arguments.front();
        EXPECT_EQ(std::count(usage.output.begin(), usage.output.end(), '\n'), 1) << usage.output;
        EXPECT_TRUE(usage.output.starts_with("tarvo-devbackend: ")) << usage.output;
    }
}

TEST(CommandLineTest, ABusyPortIsReportedNotShared) {
    DevBackendProcess first;
    const auto second = run({"--port", std::to_string(first.port()), "--db",
                             (first.databasePath().parent_path() / "second.sqlite3").string()});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.output.find("cannot listen"), std::string::npos) << second.output;
}

TEST(CommandLineTest, AccountsSessionsAndEntriesSurviveARestartInPrivateFiles) {
    DevBackendProcess scratch;
    const auto folder = scratch.databasePath().parent_path() / "new" / "folder";
    const std::string database = (folder / "kept.sqlite3").string();
    Account account;
    std::string entryID;
    {
        DevBackendProcess backend({"--db", database, "--demo"});
        BackendClient client(backend);
        account = client.newAccount();
        entryID = client.ingest(account.deviceToken, captureBody("kept")).json()["id"];
        // It holds the signing secret: no other user may read it.
        EXPECT_EQ(fileMode(folder), 0700u);
        EXPECT_EQ(fileMode(folder.parent_path()), 0700u);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            EXPECT_EQ(fileMode(database + suffix), 0600u) << suffix;
        }
        EXPECT_EQ(backend.stop(), 0);
    }
    // A database left readable by an older server is closed up when opened.
    std::filesystem::permissions(database, std::filesystem::perms(0644));
    DevBackendProcess backend({"--db", database, "--demo"});
    EXPECT_EQ(fileMode(database), 0600u);
    BackendClient client(backend);
    // Tokens signed before the restart still verify: the signing secret is kept too.
    EXPECT_EQ(currentUser(client, account.session.accessToken).status, 200);
    EXPECT_EQ(client.refresh(account.session.refreshToken).status, 200);
    const Json entries = client.entries(account.session.userID);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]["id"], entryID);
    EXPECT_EQ(client.ingest(account.deviceToken, captureBody("again")).status, 200);
}

TEST(CommandLineTest, SigtermStopsPromptlyDespiteIdleAndDelayedConnections) {
    DevBackendProcess backend;
    BackendClient client(backend);
    client.addFault(Json{{"path", "/functions/v1/capture-suggest"}, {"delay_ms", 60000}});
    // An idle kept-alive connection and a call stuck in a long delay.
    ASSERT_EQ(client.send("GET", "/__dev/health").status, 200);
    auto stuck = std::async(std::launch::async, [&backend] {
        BackendClient own(backend);
        return own.postWithBearer("/functions/v1/capture-suggest", "anything", Json::object());
    });
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(backend.stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(stuck.wait_for(5s), std::future_status::ready);
}

TEST(CommandLineTest, SigtermRightAfterStartingIsNotLost) {
    for (int round = 0; round < 5; ++round) {
        DevBackendProcess backend;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(backend.stop(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    }
}

} // namespace
} // namespace tarvo::test
