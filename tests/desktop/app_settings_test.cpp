// The desktop app's own settings over a real preferences store in a scratch folder.

#include <desktop/model/app_settings.hpp>
#include <desktop/model/detected_screenshot.hpp>

#include "support/account_sandbox.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace capturekit;
using tarvo::desktop::AppSettings;
using tarvo::desktop::HotkeyCombo;

namespace {

struct AppSettingsTest : testing::Test {
    tarvo::test::TemporaryFolder folder;
    tarvo::test::ManualClock clock{dates::referenceDate + std::chrono::hours(24 * 9000)};
    Preferences preferences{"com.merrow.loft.mac.dev", folder.path()};
    AppSettings settings{preferences, clock};
};

TEST_F(AppSettingsTest, NothingStoredReadsAsTheDefaults) {
    EXPECT_FALSE(settings.autoCaptureEnabled());
    EXPECT_FALSE(settings.confirmBeforeSending());
    EXPECT_TRUE(settings.selectionHotkeyEnabled());
    EXPECT_TRUE(settings.quickEntryHotkeyEnabled());
    EXPECT_EQ(settings.hotkeyCombo(), HotkeyCombo::controlOption);
    EXPECT_EQ(settings.autoCaptureEnabledAt(), std::nullopt);
    EXPECT_EQ(settings.folderOverride(), std::nullopt);

    settings.setSelectionHotkeyEnabled(false);
    preferences.set(AppSettings::hotkeyComboKey, std::string("hyperShift"));
    preferences.set(AppSettings::autoCaptureEnabledAtKey, std::string("yesterday"));
    EXPECT_FALSE(settings.selectionHotkeyEnabled());
    EXPECT_TRUE(settings.quickEntryHotkeyEnabled());
    EXPECT_EQ(settings.hotkeyCombo(), HotkeyCombo::controlOption);
    EXPECT_EQ(settings.autoCaptureEnabledAt(), std::nullopt);

    settings.setHotkeyCombo(HotkeyCombo::optionCommand);
    EXPECT_EQ(preferences.get<std::string>(AppSettings::hotkeyComboKey), "optionCommand");
}

TEST_F(AppSettingsTest, SwitchingOnKeepsTheFirstDateAndSwitchingOffForgetsIt) {
    const Date first = clock.now();
    settings.persistAutoCapture(true);
    clock.advance(std::chrono::minutes(5));
    settings.persistAutoCapture(true);
    EXPECT_TRUE(settings.autoCaptureEnabled());
    EXPECT_EQ(settings.autoCaptureEnabledAt(), first);

    settings.persistAutoCapture(false);
    EXPECT_FALSE(settings.autoCaptureEnabled());
    EXPECT_EQ(settings.autoCaptureEnabledAt(), std::nullopt);
    settings.persistAutoCapture(true);
    EXPECT_EQ(settings.autoCaptureEnabledAt(), clock.now());
}

TEST_F(AppSettingsTest, ADamagedStoreReadsAsTheDefaultsAndDropsWrites) {
    const auto database = preferences.databasePath();
    ASSERT_TRUE(database);
    std::filesystem::create_directories(database->parent_path());
    std::ofstream(*database) << std::string(8192, 'x');

    settings.persistAutoCapture(true);
    settings.recordSent("shot");
    EXPECT_FALSE(settings.autoCaptureEnabled());
    EXPECT_TRUE(settings.selectionHotkeyEnabled());
    EXPECT_TRUE(settings.sentFingerprints().empty());
}

TEST_F(AppSettingsTest, CopiesOnOtherThreadsShareOneHandledListThatEveryRecordStores) {
    // Read at the first use: what is stored by then counts, what another writer stores later not.
    preferences.set(AppSettings::sentFingerprintsKey, std::vector<std::string>{"stored|1|1"});
    EXPECT_TRUE(settings.wasSent("stored|1|1"));

    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([copy = settings, worker] {
            for (int shot = 0; shot < 100; ++shot) {
                copy.recordSent("/w" + std::to_string(worker) + "/" + std::to_string(shot) +
                                "|1|1");
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_TRUE(settings.wasSent("/w3/99|1|1"));
    const auto stored = settings.sentFingerprints();
    EXPECT_EQ(stored.size(), 401u) << "the last write holds every record";
    EXPECT_EQ(stored.front(), "stored|1|1");
    EXPECT_TRUE(AppSettings(preferences, clock).wasSent("/w0/0|1|1"));
}

TEST_F(AppSettingsTest, HandledFilesStillOnDiskAreKeptUpToTheHardLimit) {
    // One file under twenty thousand names: the paths go through links back to its own folder,
    // which is far quicker than making as many files.
    std::ofstream(folder / "shot.png") << "image";
    for (int link = 0; link < 150; ++link) {
        std::filesystem::create_directory_symlink(".", folder / ("l" + std::to_string(link)));
    }
    const auto fingerprintOf = [&](const std::filesystem::path& path) {
        const auto shot = tarvo::desktop::makeShot(path, dates::now() + std::chrono::hours(1));
        return shot ? shot->fingerprint : std::string();
    };
    std::vector<std::string> onDisk;
    for (std::size_t name = 0; name < AppSettings::sentFingerprintHardLimit + 5; ++name) {
        const auto path = folder / ("l" + std::to_string(name / 150)) /
                          ("l" + std::to_string(name % 150)) / "shot.png";
        onDisk.push_back(fingerprintOf(path));
    }
    preferences.set(AppSettings::sentFingerprintsKey, onDisk);

    EXPECT_FALSE(settings.wasSent(onDisk[4])) << "the oldest beyond the hard limit";
    EXPECT_TRUE(settings.wasSent(onDisk[5]));
    const std::string newest = fingerprintOf(folder / "shot.png");
    settings.recordSent(newest);
    const auto stored = settings.sentFingerprints();
    ASSERT_EQ(stored.size(), AppSettings::sentFingerprintHardLimit);
    EXPECT_EQ(stored.front(), onDisk[6]);
    EXPECT_EQ(stored.back(), newest);
}

TEST(HotkeyComboTest, ShowsTheModifiersAsPeopleTypeThemAndHoldsTheMatchingKeys) {
    using namespace tarvo::desktop;
    EXPECT_EQ(shortcutText(HotkeyCombo::controlOption, 'C'), "Ctrl+Alt+C");
    EXPECT_EQ(shortcutText(HotkeyCombo::controlOptionCommand, 'T'), "Ctrl+Alt+Super+T");
    EXPECT_EQ(modifiers(HotkeyCombo::controlOption),
              (HotkeyModifiers{.control = true, .alt = true}));
    EXPECT_EQ(modifiers(HotkeyCombo::optionCommand), (HotkeyModifiers{.alt = true, .super = true}));
}

} // namespace
