// Files and folders: the XDG base folders and private containers, and atomic replacement.

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/paths.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

using namespace capturekit;
using tarvo::test::fileMode;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

namespace {

std::ptrdiff_t entryCount(const std::filesystem::path& folder) {
    return std::ranges::distance(std::filesystem::directory_iterator(folder));
}

} // namespace

TEST(AtomicFile, WritesAndReplacesWithTheGivenModeAndNoLeftovers) {
    TemporaryFolder folder;
    const auto file = folder / "item.json";
    ASSERT_TRUE(atomic_file::write(file, "first"));
    EXPECT_EQ(fileMode(file), 0600u);
    const std::string binary("second\0with nul", 15);
    ASSERT_TRUE(atomic_file::write(file, binary, 0644));
    EXPECT_EQ(fileMode(file), 0644u);
    EXPECT_EQ(atomic_file::read(file), binary);
    ASSERT_TRUE(atomic_file::write(file, ""));
    EXPECT_EQ(atomic_file::read(file), "");
    EXPECT_EQ(entryCount(folder.path()), 1);
}

TEST(AtomicFile, AFailedReplacementKeepsTheOldFileAndCleansUp) {
    TemporaryFolder folder;
    // The target is a non-empty folder: the rename fails after the temporary file is written.
    std::filesystem::create_directories(folder / "target" / "inside");
    EXPECT_FALSE(atomic_file::write(folder / "target", "new"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "target" / "inside"));
    EXPECT_EQ(entryCount(folder.path()), 1);
    EXPECT_EQ(atomic_file::write(folder / "absent" / "file", "x").error(),
              std::errc::no_such_file_or_directory);
}

TEST(AtomicFile, ReadingReportsMissingFilesAndRefusesWhatIsNotARegularFile) {
    TemporaryFolder folder;
    EXPECT_EQ(atomic_file::read(folder / "missing").error(), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(atomic_file::read(folder.path()));
    // A FIFO would block the reader until someone writes to it.
    ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
    EXPECT_EQ(atomic_file::read(folder / "fifo.json").error(), std::errc::invalid_argument);
    std::ofstream(folder / "real") << "real";
    std::filesystem::create_symlink(folder / "real", folder / "link");
    EXPECT_FALSE(atomic_file::read(folder / "link"));
    std::ofstream(folder / "large") << std::string(200'000, 'z');
    EXPECT_EQ(atomic_file::read(folder / "large").value().size(), 200'000u);
}

TEST(Paths, BaseFoldersFollowXDGAndIgnoreRelativeValues) {
    const ScopedEnvironmentVariable home("HOME", "/home/someone");
    {
        const ScopedEnvironmentVariable data("XDG_DATA_HOME", "/data");
        const ScopedEnvironmentVariable config("XDG_CONFIG_HOME", "/config");
        EXPECT_EQ(paths::dataHome(), "/data");
        EXPECT_EQ(paths::configHome(), "/config");
    }
    const ScopedEnvironmentVariable data("XDG_DATA_HOME", "relative/data");
    const ScopedEnvironmentVariable config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(paths::dataHome(), "/home/someone/.local/share");
    EXPECT_EQ(paths::configHome(), "/home/someone/.config");
}

TEST(Paths, ContainersAreCreatedPrivateUnderTheDataHome) {
    TemporaryFolder folder;
    const ScopedEnvironmentVariable data("XDG_DATA_HOME", (folder / "share").c_str());
    const auto container = paths::appGroupContainer("group.com.merrow.loft");
    ASSERT_TRUE(container);
    EXPECT_EQ(*container, folder / "share" / "group.com.merrow.loft");
    EXPECT_EQ(fileMode(folder / "share"), 0700u);
    EXPECT_EQ(fileMode(*container), 0700u);

    EXPECT_EQ(paths::applicationSupport(), folder / "share" / application::identifier());
    // A container left open to others is closed up when opened; the folders above it are not the
    // program's own and stay as they are.
    std::filesystem::permissions(*container, std::filesystem::perms(0755));
    std::filesystem::permissions(folder / "share", std::filesystem::perms(0755));
    EXPECT_TRUE(paths::appGroupContainer("group.com.merrow.loft"));
    EXPECT_EQ(fileMode(*container), 0700u);
    EXPECT_EQ(fileMode(folder / "share"), 0755u);
}

TEST(Paths, NamesThatWouldLeaveTheDataHomeAndFilesInTheWayAreRefused) {
    TemporaryFolder folder;
    const ScopedEnvironmentVariable data("XDG_DATA_HOME", folder.path().c_str());
    for (const char* bad : {"", ".", "..", "../elsewhere", "a/b"}) {
        const auto refused = paths::appGroupContainer(bad);
        ASSERT_FALSE(refused) << bad;
        EXPECT_EQ(refused.error(), std::errc::invalid_argument);
    }
    std::ofstream(folder / "occupied") << "file";
    EXPECT_EQ(paths::appGroupContainer("occupied").error(), std::errc::not_a_directory);
    EXPECT_FALSE(paths::ensurePrivateDirectory(folder / "occupied" / "below"));
}
