#pragma once

// The words that name the platform in texts shown to people and in wire values. Kept in one place
// so another platform can restore its own.

#include <string_view>

namespace capturekit::PlatformWords {

// The device name when the host has none, and the device kind in capture requests.
inline constexpr std::string_view deviceName = "Linux";
// The platform tag: device registration "source" and the "source_app" of desktop captures.
inline constexpr std::string_view platformTag = "linux";
// How messages and hints refer to the machine: "…set this computer up…".
inline constexpr std::string_view thisMachine = "this computer";
// The secret store in messages: "Couldn’t save your session to the keyring."
inline constexpr std::string_view keychain = "keyring";
// Modifier names shown to people, in Control, Option (Alt), Command (Super) order.
inline constexpr std::string_view controlKey = "Ctrl+";
inline constexpr std::string_view optionKey = "Alt+";
inline constexpr std::string_view commandKey = "Super+";

} // namespace capturekit::PlatformWords
