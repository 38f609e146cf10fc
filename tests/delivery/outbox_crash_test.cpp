// Writers killed with SIGKILL at random moments leave only whole items behind.

#include "support/account_sandbox.hpp"

#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/atomic_file.hpp>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

constexpr int runs = 20;
constexpr int itemsPerRun = 9; // 180 in all: below the cap, so nothing is pushed out

struct ChildReport {
    std::set<int> begun;
    std::set<int> saved;
};

class Writer {
public:
    Writer(const fs::path& folder, int first) {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string firstText = std::to_string(first);
        const std::string countText = std::to_string(itemsPerRun);
        const char* argv[] = {TARVO_OUTBOX_CRASH_CHILD, folder.c_str(), firstText.c_str(),
                              countText.c_str(), nullptr};
        const int failed = posix_spawn(&pid_, TARVO_OUTBOX_CRASH_CHILD, &actions, nullptr,
                                       const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        output_ = fds[0];
        if (failed != 0) {
            throw std::runtime_error("cannot start the writer");
        }
    }
    ~Writer() { ::close(output_); }

    // Waits until the writer starts its first enqueue (the first one takes longest: it opens
    // the configuration and the stores).
    void awaitFirstLine() {
        char c = 0;
        while (::read(output_, &c, 1) == 1) {
            text_.push_back(c);
            if (c == '\n') {
                return;
            }
        }
    }

    ChildReport kill() {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(output_, buffer, sizeof buffer)) > 0) {
            text_.append(buffer, static_cast<std::size_t>(count));
        }
        ChildReport report;
        std::istringstream lines(text_);
        char what = 0;
        int number = 0;
        while (lines >> what >> number) {
            (what == 'b' ? report.begun : report.saved).insert(number);
            EXPECT_NE(what, 'f') << "enqueue of item " << number << " failed";
        }
        return report;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string text_;
};

int numberOf(const std::string& title) {
    return std::stoi(title.substr(title.find(' ') + 1));
}

} // namespace

TEST(OutboxCrash, WritersKilledAtRandomMomentsLeaveEveryReportedItemWholeAndNothingElse) {
    tarvo::test::AccountSandbox sandbox;
    const fs::path folder = sandbox.folder() / "outbox";
    fs::create_directory(folder);
    CaptureOutbox::setDirectoryOverride(folder);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> killDelayMicroseconds(0, 160000);

    std::set<int> begun;
    std::set<int> saved;
    for (int run = 0; run < runs; ++run) {
        Writer writer(folder, run * itemsPerRun);
        writer.awaitFirstLine();
        std::this_thread::sleep_for(std::chrono::microseconds(killDelayMicroseconds(random)));
        const ChildReport report = writer.kill();
        begun.insert(report.begun.begin(), report.begun.end());
        saved.insert(report.saved.begin(), report.saved.end());
    }

    std::set<int> onDisk;
    std::size_t temporaries = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".json")) {
            ++temporaries;
            fs::last_write_time(entry.path(),
                                fs::file_time_type::clock::now() - std::chrono::hours(1));
            continue;
        }
        const auto text = atomic_file::read(entry.path());
        ASSERT_TRUE(text) << name;
        const auto item = OutboxItem::decode(*text);
        ASSERT_TRUE(item) << name << ": " << item.error().description();
        EXPECT_EQ(name, item->id + ".json");
        onDisk.insert(numberOf(item->logTitle));
    }
    // Every enqueue that returned is on disk; the only others are the ones in flight at a kill,
    // which may or may not have landed.
    for (const int number : saved) {
        EXPECT_TRUE(onDisk.contains(number)) << "item " << number << " was lost";
    }
    std::size_t interrupted = 0;
    for (const int number : onDisk) {
        EXPECT_TRUE(begun.contains(number)) << number;
        interrupted += saved.contains(number) ? 0 : 1;
    }
    EXPECT_LE(interrupted, static_cast<std::size_t>(runs));
    EXPECT_EQ(onDisk.size(), saved.size() + interrupted);
    EXPECT_GT(saved.size(), 0u);
    std::cout << "[ crash    ] " << saved.size() << " enqueues returned, " << onDisk.size()
              << " items on disk, " << temporaries << " temporary files left by kills\n";

    EXPECT_EQ(CaptureOutbox::pendingCount(), onDisk.size());
    EXPECT_EQ(CaptureOutbox::pending().size(), onDisk.size());
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(folder), fs::directory_iterator())),
              onDisk.size()); // the aged temporaries are gone
    CaptureOutbox::setDirectoryOverride(std::nullopt);
}
