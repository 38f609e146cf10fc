#pragma once

// A system-wide hot key: one letter held with modifiers. The key fires its action on the main
// thread while any program is in front.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

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
    // The desktop assigns the key itself; the service's `desktopKeys` tells what it did.
    byDesktop,
};

// A key as a desktop that assigns keys itself lists it: a stable name, and what it does in the
// person's words.
struct DesktopShortcut {
    std::uint32_t id = 0; // the app's id of the key
    char letter = 0;      // proposed with the key's modifiers
    std::string name;     // "capture-selection"
    std::string description;
};

// What a desktop that assigns the app's keys itself says of them.
struct DesktopKeys {
    enum class State {
        asking,      // the desktop has not answered yet
        bound,       // the desktop took the keys; `triggers` holds those it assigned
        cancelled,   // the person cancelled the desktop's question
        failed,      // the desktop refused
        noAnswer,    // the desktop did not answer in time; a late answer still counts
        gone,        // the desktop's service left; the keys are asked for again when it returns
        unavailable, // this desktop assigns no keys to apps
    };
    State state = State::asking;
    // What the desktop assigned, by the app's key id, in its own words ("Super+Shift+K").
    std::map<std::uint32_t, std::string> triggers;
    // The desktop has a dialog of its own for changing them.
    bool canConfigure = false;
    std::uint32_t version = 0;
    bool operator==(const DesktopKeys&) const = default;
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

    // Where the desktop assigns the keys: what it says of them now; absent where the app does.
    virtual std::optional<DesktopKeys> desktopKeys() const { return std::nullopt; }
    // Called on the main thread whenever `desktopKeys` changes.
    virtual void setDesktopKeysChanged(std::function<void()>) {}
    // Opens the desktop's own dialog for the app's keys, where `canConfigure`.
    virtual void configureDesktopKeys() {}
};

} // namespace tarvo::desktop
