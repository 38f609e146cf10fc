#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/paths.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <fstream>

using namespace capturekit;
using tarvo::test::fileMode;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

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
