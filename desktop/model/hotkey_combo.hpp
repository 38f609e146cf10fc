#pragma once

// The modifier combination shared by both global hot keys (the selection key C and the quick-entry
// key T). The raw value is what the settings store; the mask keeps the classic modifier bits
// (command 0x100, option 0x800, control 0x1000) so stored values and masks stay comparable across
// platforms, and `modifiers` gives the keys a hot key is registered with.

#include <desktop/platform/global_hotkey.hpp>

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

enum class HotkeyCombo { controlOption, controlCommand, optionCommand, controlOptionCommand };

namespace HotkeyMask {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
} // namespace HotkeyMask

std::uint32_t mask(HotkeyCombo combo);
// The modifiers as people read them here, "Ctrl+Alt+".
std::string glyphs(HotkeyCombo combo);
// The hint the menu shows under the choice, if any.
std::optional<std::string_view> hint(HotkeyCombo combo);
// What the person presses: glyphs followed by the letter, "Ctrl+Alt+C".
std::string shortcutText(HotkeyCombo combo, char letter);
// The modifier keys of the combo's mask: control, option as Alt, command as Super.
HotkeyModifiers modifiers(HotkeyCombo combo);
// A stored raw value, or controlOption when it names no combination.
HotkeyCombo hotkeyComboOrDefault(std::string_view raw);

} // namespace tarvo::desktop

template <> struct capturekit::RawValues<tarvo::desktop::HotkeyCombo> {
    static constexpr std::array<std::string_view, 4> names{"controlOption", "controlCommand",
                                                           "optionCommand", "controlOptionCommand"};
};
