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

HotkeyModifiers modifiers(HotkeyCombo combo) {
    const std::uint32_t bits = mask(combo);
    return {.control = (bits & HotkeyMask::control) != 0,
            .alt = (bits & HotkeyMask::option) != 0,
            .super = (bits & HotkeyMask::command) != 0};
}

HotkeyCombo hotkeyComboOrDefault(std::string_view raw) {
    return fromRawValue<HotkeyCombo>(raw).value_or(HotkeyCombo::controlOption);
}

} // namespace tarvo::desktop
