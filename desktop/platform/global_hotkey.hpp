#pragma once

// A system-wide hot key: one letter held with modifiers. The key fires its action on the main
// thread while any program is in front.

#include <cstdint>
#include <functional>
#include <memory>

namespace tarvo::desktop {

// The modifiers a key is held with.
struct HotkeyModifiers {
    bool control = false;
    bool alt = false;
    bool super = false;
    bool operator==(const HotkeyModifiers&) const = default;
};

// How a registration went.
enum class HotkeyRegistration {
    registered,
    // Another program holds the combination.
    taken,
    // The system refused it for another reason (no keyboard map for the letter, no display).
    refused,
    // This session lets no program set global keys.
    unsupported,
};

class GlobalHotkey {
public:
    // Dropping the key releases its registration.
    virtual ~GlobalHotkey() = default;
    // Registers the letter with the modifiers, releasing any earlier registration first. Unless
    // registered, the key never fires.
    virtual HotkeyRegistration registerCombo(HotkeyModifiers modifiers) = 0;
};

class HotkeyService {
public:
    virtual ~HotkeyService() = default;
    // A key for a letter ('C', 'T'), not yet registered. `id` tells the app's keys apart; the
    // action runs on the main thread, after the key event has been handled.
    virtual std::unique_ptr<GlobalHotkey> makeHotkey(std::uint32_t id, char letter,
                                                     std::function<void()> action) = 0;
};

} // namespace tarvo::desktop
