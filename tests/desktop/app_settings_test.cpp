// The desktop app's own settings over a real preferences store in a scratch folder.

#include <desktop/model/app_settings.hpp>

#include "support/account_sandbox.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <fstream>

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

TEST(HotkeyComboTest, ShowsTheModifiersAsPeopleTypeThemAndHoldsTheMatchingKeys) {
    using namespace tarvo::desktop;
    EXPECT_EQ(shortcutText(HotkeyCombo::controlOption, 'C'), "Ctrl+Alt+C");
    EXPECT_EQ(shortcutText(HotkeyCombo::controlOptionCommand, 'T'), "Ctrl+Alt+Super+T");
    EXPECT_EQ(modifiers(HotkeyCombo::controlOption),
              (HotkeyModifiers{.control = true, .alt = true}));
    EXPECT_EQ(modifiers(HotkeyCombo::optionCommand), (HotkeyModifiers{.alt = true, .super = true}));
}

} // namespace
