#include <desktop/model/hotkey_combo.hpp>

#include <gtest/gtest.h>

namespace tarvo::desktop {
namespace {

TEST(HotkeyComboTest, ShowsTheModifiersAsPeopleTypeThemAndGrabsTheMatchingX11Bits) {
    EXPECT_EQ(shortcutText(HotkeyCombo::controlOption, 'C'), "Ctrl+Alt+C");
    EXPECT_EQ(shortcutText(HotkeyCombo::controlOptionCommand, 'T'), "Ctrl+Alt+Super+T");
    EXPECT_EQ(x11Modifiers(HotkeyCombo::controlOption), 0x4U | 0x8U);
    EXPECT_EQ(x11Modifiers(HotkeyCombo::optionCommand), 0x8U | 0x40U);
    EXPECT_EQ(mask(HotkeyCombo::controlCommand), 0x1100U);
}

TEST(HotkeyComboTest, AnUnknownStoredValueReadsAsControlOption) {
    EXPECT_EQ(hotkeyComboOrDefault("optionCommand"), HotkeyCombo::optionCommand);
    EXPECT_EQ(hotkeyComboOrDefault("ControlOption"), HotkeyCombo::controlOption);
    EXPECT_EQ(hotkeyComboOrDefault(""), HotkeyCombo::controlOption);
}

} // namespace
} // namespace tarvo::desktop
