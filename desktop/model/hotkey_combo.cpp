#include <desktop/model/hotkey_combo.hpp>

#include <capturekit/account/platform_words.hpp>

namespace tarvo::desktop {

using namespace capturekit;

std::uint32_t mask(HotkeyCombo combo) {
    switch (combo) {
    case HotkeyCombo::controlOption:
        return HotkeyMask::control | HotkeyMask::option;
    case HotkeyCombo::controlCommand:
        return HotkeyMask::control | HotkeyMask::command;
    case HotkeyCombo::optionCommand:
        return HotkeyMask::option | HotkeyMask::command;
    case HotkeyCombo::controlOptionCommand:
        return HotkeyMask::control | HotkeyMask::option | HotkeyMask::command;
    }
    return 0;
}

std::string glyphs(HotkeyCombo combo) {
    const std::uint32_t bits = mask(combo);
    std::string text;
    if ((bits & HotkeyMask::control) != 0) {
        text += PlatformWords::controlKey;
    }
    if ((bits & HotkeyMask::option) != 0) {
        text += PlatformWords::optionKey;
    }
    if ((bits & HotkeyMask::command) != 0) {
        text += PlatformWords::commandKey;
    }
    return text;
}

std::optional<std::string_view> hint(HotkeyCombo combo) {
    // Super+Alt clashes with no text editor's style copy here, so that combination needs no hint.
    if (combo == HotkeyCombo::controlOptionCommand) {
        return "Awkward one-handed.";
    }
    return std::nullopt;
}

std::string shortcutText(HotkeyCombo combo, char letter) {
    return glyphs(combo) + letter;
}

unsigned int x11Modifiers(HotkeyCombo combo) {
    constexpr unsigned int controlMask = 1U << 2;
    constexpr unsigned int mod1Mask = 1U << 3;
    constexpr unsigned int mod4Mask = 1U << 6;
    const std::uint32_t bits = mask(combo);
    unsigned int modifiers = 0;
    modifiers |= (bits & HotkeyMask::control) != 0 ? controlMask : 0;
    modifiers |= (bits & HotkeyMask::option) != 0 ? mod1Mask : 0;
    modifiers |= (bits & HotkeyMask::command) != 0 ? mod4Mask : 0;
    return modifiers;
}

HotkeyCombo hotkeyComboOrDefault(std::string_view raw) {
    return fromRawValue<HotkeyCombo>(raw).value_or(HotkeyCombo::controlOption);
}

} // namespace tarvo::desktop
