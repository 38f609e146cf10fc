// Writers killed with SIGKILL at random moments leave only whole items behind.

#include "support/account_sandbox.hpp"
#include "support/child_process.hpp"

#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/atomic_file.hpp>

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>
#include <thread>

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

constexpr int runs = 20;
constexpr int itemsPerRun = 9; // 180 in all: below the cap, so nothing is pushed out

// Starts a writer of items FIRST… and, once it has begun its first enqueue (the slowest: it opens
// the configuration and the stores), kills it after the delay and adds the items it reported as
// begun and as saved to those sets.
void killWriterAfter(const fs::path& folder, int first, std::chrono::microseconds delay,
                     std::set<int>& begun, std::set<int>& saved) {
    auto writer = tarvo::test::ChildProcess::start(
        TARVO_OUTBOX_CRASH_CHILD,
        {folder.string(), std::to_string(first), std::to_string(itemsPerRun)});
    writer.awaitLine();
    std::this_thread::sleep_for(delay);
    std::istringstream lines(writer.kill().output);
    char what = 0;
    int number = 0;
    while (lines >> what >> number) {
        (what == 'b' ? begun : saved).insert(number);
        EXPECT_NE(what, 'f') << "enqueue of item " << number << " failed";
    }
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
        killWriterAfter(folder, run * itemsPerRun,
                        std::chrono::microseconds(killDelayMicroseconds(random)), begun, saved);
    }

    std::set<int> onDisk;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".json")) { // a temporary file left by a kill, aged for removal
            fs::last_write_time(entry.path(),
                                fs::file_time_type::clock::now() - std::chrono::hours(1));
            continue;
        }
        const auto item = OutboxItem::decode(atomic_file::read(entry.path()).value_or(""));
        ASSERT_TRUE(item) << name << ": " << item.error().description();
        EXPECT_EQ(name, item->id + ".json");
        onDisk.insert(std::stoi(item->logTitle.substr(std::string("item ").size())));
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
    EXPECT_GT(saved.size(), 0u);

    EXPECT_EQ(CaptureOutbox::pendingCount(), onDisk.size());
    EXPECT_EQ(CaptureOutbox::pending().size(), onDisk.size());
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(folder), fs::directory_iterator())),
              onDisk.size()); // the aged temporaries are gone
    CaptureOutbox::setDirectoryOverride(std::nullopt);
}
