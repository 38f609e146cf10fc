// The watcher on a real folder with real inotify events and timers.

#include "desktop/qt_event_loop.hpp"

#include <desktop/model/screenshot_watcher.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace tarvo::desktop {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarvo::test::runEventsFor;
using tarvo::test::runEventsUntil;

void write(const fs::path& file, std::string_view bytes, bool append = false) {
    std::ofstream out(file, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out << bytes;
}

// A file last modified long ago, as a screenshot from an earlier day.
void writeOld(const fs::path& file, std::string_view bytes = "old image") {
    write(file, bytes);
    const timespec times[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

struct WatcherOnAFolder : ::testing::Test {
    tarvo::test::TemporaryFolder folder;
    std::vector<DetectedScreenshot> reported;
    ScreenshotWatcher watcher{[this](const DetectedScreenshot& shot) { reported.push_back(shot); },
                              [] {
                                  return std::optional<std::string>("Notes");
                              }};

    WatcherOnAFolder() { tarvo::test::qtApplication(); }

    bool waitForReports(std::size_t count, std::chrono::milliseconds timeout = 3s) {
        return runEventsUntil([&] { return reported.size() >= count; }, timeout);
    }
    std::vector<std::string> reportedNames() const {
        std::vector<std::string> names;
        for (const auto& shot : reported) {
            names.push_back(shot.fileName());
        }
        return names;
    }
};

TEST_F(WatcherOnAFolder, AFileWrittenInTwoStepsIsReportedOnceWithItsFinalSizeSoonAfterItSettles) {
    watcher.start(folder.path());
    write(folder / "Screenshot.PNG", "");
    runEventsFor(300ms);
    write(folder / "Screenshot.PNG", std::string(5000, 'x'), true);
    const auto written = std::chrono::steady_clock::now();

    ASSERT_TRUE(waitForReports(1));
    // Picked up by the folder's events and the settle time, not by the 15-second poll.
    EXPECT_LT(std::chrono::steady_clock::now() - written, 2s);
    runEventsFor(1200ms);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].size, 5000);
    EXPECT_EQ(reported[0].frontmostWindowTitle, "Notes");
    EXPECT_TRUE(reported[0].fingerprint.ends_with("|5000"));
}

TEST_F(WatcherOnAFolder, ShotsThatSettleTogetherAreOfferedInTheOrderTheyWereTaken) {
    watcher.start(folder.path());
    // Taken in this order; a folder lists its entries in an order of its own.
    for (const char* name : {"zebra.png", "apple.png", "mango.png", "kiwi.png"}) {
        write(folder / name, "image");
        std::this_thread::sleep_for(15ms);
    }
    ASSERT_TRUE(waitForReports(4));
    EXPECT_EQ(reportedNames(),
              (std::vector<std::string>{"zebra.png", "apple.png", "mango.png", "kiwi.png"}));

    // Taken in the same instant, they go by name.
    DetectedScreenshot one;
    one.url = folder / "b.png";
    DetectedScreenshot two;
    two.url = folder / "a.png";
    EXPECT_TRUE(takenBefore(two, one));
    EXPECT_FALSE(takenBefore(one, two));
}

TEST_F(WatcherOnAFolder, RenamedAndReplacedFilesAreNewScreenshotsWhileHiddenAndOtherFilesAreNot) {
    watcher.start(folder.path());
    write(folder / "a.png", "first");
    ASSERT_TRUE(waitForReports(1));

    fs::rename(folder / "a.png", folder / "b.png");
    ASSERT_TRUE(waitForReports(2));
    EXPECT_NE(reported[1].fingerprint, reported[0].fingerprint);

    fs::remove(folder / "b.png");
    runEventsFor(700ms);
    write(folder / "b.png", "second, longer");
    ASSERT_TRUE(waitForReports(3));
    EXPECT_EQ(reported[2].size, 14);

    write(folder / ".hidden.png", "x");
    write(folder / "notes.txt", "x");
    write(folder / "movie.mov", "x");
    fs::create_directory(folder / "folder.png");
    runEventsFor(1500ms);
    watcher.scanForNew();
    EXPECT_EQ(reportedNames(), (std::vector<std::string>{"a.png", "b.png", "b.png"}));
}

TEST_F(WatcherOnAFolder, ExistingImagesAreHandedOverOnceAndAFileStillBeingWrittenFollowsLater) {
    writeOld(folder / "old.jpeg");
    writeOld(folder / "empty.png", "");
    fs::create_symlink(folder / "old.jpeg", folder / "link.png");
    write(folder / "fresh.gif", "just saved");

    const auto existing = watcher.scanExisting(folder.path());
    ASSERT_EQ(existing.size(), 1u);
    EXPECT_EQ(existing[0].fileName(), "old.jpeg");
    EXPECT_EQ(existing[0].fingerprint, (folder / "old.jpeg").string() + "|1600000000|9");

    watcher.start(folder.path());
    ASSERT_TRUE(waitForReports(1));
    runEventsFor(800ms);
    EXPECT_EQ(reportedNames(), (std::vector<std::string>{"fresh.gif"}));
}

// Each wait is far shorter than the 15-second poll: the folder's creation is seen as it happens.
TEST_F(WatcherOnAFolder, AFolderNotMadeYetIsWaitedForFromTheNearestParentThatExists) {
    const fs::path shots = folder / "home/Pictures/Screenshots";
    watcher.start(shots);
    EXPECT_TRUE(watcher.isWatching());
    EXPECT_FALSE(watcher.receivesEvents());
    EXPECT_TRUE(watcher.waitsForFolder());

    fs::create_directories(folder / "home/Videos");
    fs::create_directory(folder / "home/Pictures");
    runEventsFor(300ms);
    EXPECT_TRUE(watcher.waitsForFolder());

    // The first screenshot makes the folder and is saved at once, before its watch can take.
    fs::create_directory(shots);
    write(shots / "Screenshot from today.png", "image");
    ASSERT_TRUE(waitForReports(1, 5s));
    EXPECT_EQ(reported[0].fileName(), "Screenshot from today.png");
    EXPECT_TRUE(watcher.receivesEvents());
    EXPECT_FALSE(watcher.waitsForFolder());
    write(shots / "second.png", "image");
    ASSERT_TRUE(waitForReports(2, 5s));
}

TEST_F(WatcherOnAFolder, ADeletedFolderIsWatchedAgainWhenItComesBackUntilStopped) {
    const fs::path shots = folder / "Screenshots";
    fs::create_directory(shots);
    watcher.start(shots);
    EXPECT_TRUE(watcher.receivesEvents());

    fs::remove_all(shots);
    ASSERT_TRUE(runEventsUntil([&] { return watcher.waitsForFolder(); }, 5s));
    EXPECT_FALSE(watcher.receivesEvents());
    runEventsFor(800ms);  // the scan the deletion set off finds nothing
    watcher.scanForNew(); // nor does the poll
    EXPECT_TRUE(watcher.isWatching());

    // Made elsewhere with an image in it, and moved into place whole.
    fs::create_directory(folder / "staging");
    write(folder / "staging/back.png", "image");
    fs::rename(folder / "staging", shots);
    ASSERT_TRUE(waitForReports(1, 5s));
    EXPECT_EQ(reported[0].fileName(), "back.png");
    EXPECT_TRUE(watcher.receivesEvents());

    watcher.stop();
    EXPECT_FALSE(watcher.isWatching());
    fs::remove_all(shots);
    fs::create_directory(shots);
    write(shots / "after.png", "x");
    runEventsFor(1000ms);
    watcher.scanForNew();
    EXPECT_EQ(reported.size(), 1u) << "nothing is reported once stopped";
}

TEST_F(WatcherOnAFolder, AFolderOfManyOldScreenshotsIsRescannedWithoutReadingThemAgain) {
    for (int i = 0; i < 3000; ++i) {
        writeOld(folder / ("Screenshot " + std::to_string(i) + ".png"));
    }
    EXPECT_EQ(watcher.scanExisting(folder.path()).size(), 3000u);
    watcher.start(folder.path());
    // A known path is not looked at again, even when its file changed.
    write(folder / "Screenshot 7.png", "rewritten in place");
    writeOld(folder / "Screenshot 7.png", "rewritten in place");

    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        watcher.scanForNew();
    }
    // A few milliseconds a scan; the bound leaves room for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_TRUE(reported.empty());
}

} // namespace
} // namespace tarvo::desktop
