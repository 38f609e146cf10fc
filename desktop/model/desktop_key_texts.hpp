#pragma once

// What the menu says of keys the desktop assigns itself: the key of each, and one note on what to
// do when the desktop gave none.

#include <desktop/platform/global_hotkey.hpp>

#include <optional>
#include <string>

namespace tarvo::desktop::DesktopKeyTexts {

// The line under a key that is switched on: the key the desktop assigned, that it assigned none,
// or that it is being asked; absent when the shared note says what went wrong.
std::optional<std::string> keyLine(const DesktopKeys& keys, std::uint32_t id);
// The key as a sentence names it: the desktop's own words, or absent before it assigned one.
std::optional<std::string> assignedKey(const DesktopKeys& keys, std::uint32_t id);
// Why the keys don't work and the two commands to bind instead; absent while they do.
std::optional<std::string> note(const std::optional<DesktopKeys>& keys, bool sessionSetsNoKeys);
// Under the modifier choice: what it does where the desktop decides.
std::string proposalHint();

} // namespace tarvo::desktop::DesktopKeyTexts
