// Which folder the watcher watches on each desktop, in a fake home: the session's environment,
// the screenshot tools' settings files and the folders present or not.

#include <desktop/model/screenshot_folder.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <fstream>

namespace tarvo::desktop {
namespace {

namespace fs = std::filesystem;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

struct FakeHome : ::testing::Test {
    TemporaryFolder home;
    ScopedEnvironmentVariable homeVariable{"HOME", home.path().c_str()};
    ScopedEnvironmentVariable config{"XDG_CONFIG_HOME", (home / "config").c_str()};
    ScopedEnvironmentVariable plasma{"KDE_SESSION_VERSION", nullptr};
    std::optional<ScopedEnvironmentVariable> desktop;

    FakeHome() {
        // The person's own names for the user folders.
        write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                       "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
        onDesktop("");
    }
    void onDesktop(const char* name) { desktop.emplace("XDG_CURRENT_DESKTOP", name); }
    void write(const fs::path& file, std::string_view text) const {
        fs::create_directories((home / file).parent_path());
        std::ofstream(home / file, std::ios::trunc) << text;
    }
    void makeFolder(const fs::path& folder) const { fs::create_directories(home / folder); }
};

TEST_F(FakeHome, TheGnomeFamilyWatchesPicturesScreenshotsBeforeItExists) {
    // Settings of other tools do not count where the desktop's own tool is known.
    write("config/flameshot/flameshot.ini", "[General]\nsavePath=/srv/flameshot\n");
    write("config/spectaclerc", "[ImageSave]\nimageSaveLocation=file:///srv/spectacle\n");
    makeFolder("Bilder");
    for (const char* session : {"GNOME", "ubuntu:GNOME", "Budgie:GNOME", "X-Cinnamon", "Unity",
                                "GNOME-Flashback:GNOME"}) {
        onDesktop(session);
        EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder/Screenshots") << session;
    }
    EXPECT_FALSE(screenshotFolderExists(home / "Bilder/Screenshots"));
    makeFolder("Bilder/Screenshots");
    EXPECT_TRUE(screenshotFolderExists(home / "Bilder/Screenshots"));
    EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder/Screenshots");
}

TEST_F(FakeHome, KdeWatchesSpectaclesFolderElseItsDefaultOfThePlasmaVersion) {
    onDesktop("KDE");
    write("config/flameshot/flameshot.ini", "[General]\nsavePath=/srv/flameshot\n");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder") << "Plasma 5 saves into Pictures";
    makeFolder("Bilder/Screenshots");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder/Screenshots");
    fs::remove(home / "Bilder/Screenshots");

    ScopedEnvironmentVariable plasma6("KDE_SESSION_VERSION", "6");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder/Screenshots") << "made by the first shot";

    write("config/spectaclerc", "[General]\ndefault-save-location=file:///srv/old/\n");
    EXPECT_EQ(desktopScreenshotFolder(), fs::path("/srv/old/"));
    write("config/spectaclerc",
          "[General]\ndefault-save-location=file:///srv/old/\n"
          "[ImageSave]\nimageSaveLocation=file:///home/kim/Pictures/My%20Shots/\n");
    EXPECT_EQ(desktopScreenshotFolder(), fs::path("/home/kim/Pictures/My Shots/"));
}

TEST_F(FakeHome, ElsewhereAConfiguredToolThenPicturesScreenshotsThenPicturesThenTheDesktop) {
    onDesktop("XFCE");
    write("config/xfce4/xfce4-screenshooter",
          "delay=0\nscreenshot_dir=file:///home/kim/Bilder/Aufnahmen%20alt\napp=none\n");
    write("config/flameshot/flameshot.ini", "[General]\nsavePath=\"/srv/a, b\"\n");
    EXPECT_EQ(desktopScreenshotFolder(), fs::path("/srv/a, b")) << "Flameshot is used";
    fs::remove(home / "config/flameshot/flameshot.ini");
    EXPECT_EQ(desktopScreenshotFolder(), fs::path("/home/kim/Bilder/Aufnahmen alt"));

    // xfce4-screenshooter's folder is read on Xfce only.
    onDesktop("sway");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Schreibtisch");
    makeFolder("Bilder");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder");
    makeFolder("Bilder/Screenshots");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Bilder/Screenshots");

    fs::remove(home / "config/user-dirs.dirs");
    EXPECT_EQ(desktopScreenshotFolder(), home / "Desktop") << "the folders' English defaults";
}

TEST_F(FakeHome, TheOverrideWinsWithItsTildeExpanded) {
    onDesktop("GNOME");
    EXPECT_EQ(screenshotFolder("~/Shots"), home / "Shots");
    EXPECT_EQ(screenshotFolder("~"), home.path());
    EXPECT_EQ(screenshotFolder("/srv/shots"), fs::path("/srv/shots"));
    EXPECT_EQ(screenshotFolder(""), home / "Bilder/Screenshots");
    EXPECT_EQ(screenshotFolder(std::nullopt), home / "Bilder/Screenshots");
}

TEST_F(FakeHome, FoldersAreShownFromTheHomeFolder) {
    EXPECT_EQ(displayedFolder(home / "Bilder/Screenshots"), "~/Bilder/Screenshots");
    EXPECT_EQ(displayedFolder(home / "Bilder/Screenshots/"), "~/Bilder/Screenshots");
    EXPECT_EQ(displayedFolder(home.path()), "~");
    EXPECT_EQ(displayedFolder(home.path().string() + "-other/x"),
              home.path().string() + "-other/x");
    EXPECT_EQ(displayedFolder("/srv/shots/"), "/srv/shots");
}

TEST(ScreenshotToolSettings, OnlyTheSaveKeysOfTheirGroupsAndLocalFoldersCount) {
    EXPECT_EQ(spectacleSaveFolder("[GuiConfig]\nimageSaveLocation=file:///x\n"), std::nullopt);
    EXPECT_EQ(spectacleSaveFolder("[ImageSave]\nimageSaveLocation=\n"), std::nullopt);
    EXPECT_EQ(spectacleSaveFolder("[ImageSave]\nimageSaveLocation=https://host/x\n"), std::nullopt);
    EXPECT_EQ(spectacleSaveFolder("[ImageSave]\nimageSaveLocation = /tmp/s\n"), fs::path("/tmp/s"));

    // QSettings quotes what has commas and escapes what is not Latin-1.
    EXPECT_EQ(flameshotSaveFolder("[General]\nsavePath=/home/kim/\\x421\\x43d\\x438\\x43c\\x43a"
                                  "\\x438\n"),
              fs::path("/home/kim/Снимки"));
    EXPECT_EQ(flameshotSaveFolder("[General]\nsavePath=\"/srv/a, \\\"b\\\"\"\n"),
              fs::path("/srv/a, \"b\""));
    EXPECT_EQ(flameshotSaveFolder("[General]\nsavePath=\n"), std::nullopt);
    EXPECT_EQ(flameshotSaveFolder("[Shortcuts]\nsavePath=/srv/x\n"), std::nullopt);

    EXPECT_EQ(xfceScreenshooterFolder("screenshot_dir=file:///srv/%C3%A9t%C3%A9\n"),
              fs::path("/srv/été"));
    EXPECT_EQ(xfceScreenshooterFolder("screenshot_dir=sftp://host/srv\n"), std::nullopt);
}

} // namespace
} // namespace tarvo::desktop
