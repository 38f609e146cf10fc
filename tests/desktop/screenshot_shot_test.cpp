// What a screenshot file becomes: fingerprint, dates, window title, and whether it was handled.

#include "desktop/image_files.hpp"

#include <desktop/model/app_settings.hpp>
#include <desktop/model/detected_screenshot.hpp>
#include <desktop/model/window_title.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <vector>

namespace tarvo::desktop {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using capturekit::Date;
using tarvo::test::TemporaryFolder;
using tarvo::test::writeBytes;

void setModified(const fs::path& file, timespec when) {
    const timespec times[2] = {when, when};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

TEST(DetectedScreenshotTest, TheFingerprintIsPathWholeSecondsAndSizeOfASettledRegularFile) {
    TemporaryFolder folder;
    const fs::path file = folder / "Screenshot 1.png";
    writeBytes(file, "12345");
    setModified(file, {1'700'000'000, 999'999'999});
    const Date modified = Date(1'700'000'000s + 999'999us);

    const auto shot =
        makeShot(file, modified + 600ms, [] { return std::optional<std::string>("T"); });
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->fingerprint, file.string() + "|1700000000|5");
    EXPECT_EQ(shot->size, 5);
    EXPECT_EQ(shot->frontmostWindowTitle, "T");
    // The birth time where the file system keeps one, else the modification time.
    EXPECT_TRUE(shot->createdAt == modified || shot->createdAt > Date(1'700'000'001s));

    EXPECT_FALSE(makeShot(file, modified + 599ms));
    EXPECT_EQ(probeShot(file, modified + 450ms).settlesIn, 150ms);
    EXPECT_FALSE(makeShot(file, modified - 1s)) << "modified in the future";

    // Before 1970 the seconds are cut toward zero, as the stored fingerprints have them.
    EXPECT_EQ(screenshotFingerprint("/s.png", Date(-1500ms), 3), "/s.png|-1|3");
}

TEST(DetectedScreenshotTest, NamesThatDifferOnlyInBytesThatAreNotUTF8KeepApart) {
    // A valid path is as it always was, "%" and all; in another, bad bytes and "%" are escaped.
    EXPECT_EQ(screenshotFingerprint("/100%FF.png", Date(2s), 3), "/100%FF.png|2|3");
    EXPECT_EQ(screenshotFingerprint("/s\xff.png", Date(2s), 3), "/s%FF.png|2|3");
    EXPECT_EQ(screenshotFingerprint("/s\xfe.png", Date(2s), 3), "/s%FE.png|2|3");
    EXPECT_EQ(screenshotFingerprint("/\xc3\xa9 50%\xe9\x80.png", Date(2s), 3),
              "/\xc3\xa9 50%25%E9%80.png|2|3");

    TemporaryFolder folder;
    const timespec sameSecond{1'700'000'000, 0};
    std::vector<std::string> fingerprints;
    for (const char* name : {"same\xff.png", "same\xfe.png", "50%41.png"}) {
        writeBytes(folder / name, "image");
        setModified(folder / name, sameSecond);
        const auto shot = makeShot(folder / name, Date(1'800'000'000s));
        ASSERT_TRUE(shot) << name;
        EXPECT_TRUE(isStillOnDisk(shot->fingerprint)) << shot->fingerprint;
        fingerprints.push_back(shot->fingerprint);
    }
    EXPECT_EQ(fingerprints[0], (folder / "same%FF.png|1700000000|5").string());
    EXPECT_EQ(fingerprints[1], (folder / "same%FE.png|1700000000|5").string());
    EXPECT_EQ(fingerprints[2], (folder / "50%41.png|1700000000|5").string());
    fs::remove(folder / "same\xff.png");
    EXPECT_FALSE(isStillOnDisk(fingerprints[0]));
    EXPECT_TRUE(isStillOnDisk(fingerprints[1]));
}

TEST(DetectedScreenshotTest, AHandledShotStillInTheFolderOutlivesTheLimitOfTheSentList) {
    TemporaryFolder folder;
    writeBytes(folder / "kept.png", "image");
    const auto kept = makeShot(folder / "kept.png", capturekit::dates::now() + 1h);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(isStillOnDisk(kept->fingerprint));
    EXPECT_FALSE(isStillOnDisk(kept->fingerprint + "0"));
    EXPECT_FALSE(isStillOnDisk("no bars at all"));

    const AppSettings settings(capturekit::Preferences("test.settings", folder / "prefs"),
                               capturekit::SystemClock::shared());
    settings.recordSent("gone|1|1");
    settings.recordSent(kept->fingerprint);
    for (int index = 0; index < 600; ++index) {
        settings.recordSent("/gone/" + std::to_string(index) + ".png|1|1");
    }
    settings.recordSent("/gone/300.png|1|1"); // already there: neither repeated nor moved
    const auto sent = settings.sentFingerprints();
    EXPECT_EQ(sent.size(), 500u);
    EXPECT_EQ(sent.front(), kept->fingerprint);
    EXPECT_EQ(sent.back(), "/gone/599.png|1|1");
    EXPECT_TRUE(settings.wasSent(kept->fingerprint));
    EXPECT_FALSE(settings.wasSent("gone|1|1"));

    // Once the file changes it is another screenshot, and its old mark may go: at the next start,
    // since each file is looked for once a run.
    writeBytes(folder / "kept.png", "a longer image");
    settings.recordSent("/gone/last.png|1|1");
    EXPECT_TRUE(settings.wasSent(kept->fingerprint));
    const AppSettings restarted(settings.preferences(), capturekit::SystemClock::shared());
    EXPECT_TRUE(restarted.wasSent(kept->fingerprint)) << "the list is not over its limit yet";
    restarted.recordSent("/gone/after-restart.png|1|1");
    EXPECT_FALSE(restarted.wasSent(kept->fingerprint));
    EXPECT_EQ(restarted.sentFingerprints().front(), "/gone/102.png|1|1");
}

TEST(WindowTitleTest, TheApplicationsNameIsTakenOffTheEndAndLongTitlesAreCut) {
    EXPECT_EQ(cleanWindowTitle("Ada - Firefox — Firefox", "Firefox"), "Ada - Firefox");
    EXPECT_EQ(cleanWindowTitle("Ada | Mail", "Mail"), "Ada");
    EXPECT_EQ(cleanWindowTitle("Ada – Mail", std::nullopt), "Ada – Mail");
    EXPECT_EQ(cleanWindowTitle(" \n — Mail", "Mail"), std::nullopt);
    EXPECT_EQ(cleanWindowTitle("  Mail  ", "Mail"), "Mail");

    std::string longTitle;
    for (int i = 0; i < 200; ++i) {
        longTitle += "é";
    }
    const auto cut = cleanWindowTitle(longTitle, "App");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), 240u) << "120 two-byte characters";
}

} // namespace
} // namespace tarvo::desktop
