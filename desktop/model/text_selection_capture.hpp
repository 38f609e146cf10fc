#pragma once

// Reads the text selected in whatever program is in front when the selection hot key is pressed:
// first without touching the clipboard (the focused accessible text, then the primary selection
// when the frontmost program owns it, or when the session cannot tell who owns it), else by sending
// the copy keystroke and reading the clipboard, which is put back as it was afterwards. A password
// field gives nothing at all, and a program that is or may be a terminal never gets the keystroke
// (Control+C would interrupt the program running in it). Runs on the selection-capture thread: its
// waits (at most about 1 s for the hot key's modifiers to be released and 0.8 s for the copy) never
// hold up the main thread.

#include <desktop/model/hotkey_combo.hpp>
#include <desktop/platform/frontmost_app.hpp>
#include <desktop/platform/selection_steps.hpp>

#include <chrono>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

namespace TextSelectionCapture {

inline constexpr std::chrono::milliseconds modifierWait{1000};
inline constexpr std::chrono::milliseconds modifierPoll{15};
inline constexpr std::chrono::milliseconds copyWait{800};
inline constexpr std::size_t maxWindowTitleCharacters = 300;

using Item = ClipboardItem;

struct Result {
    std::string text;   // trimmed, never empty
    std::string method; // "accessibility" or "copy"
    std::optional<std::string> sourceApp;
    std::optional<std::string> sourceBundleID;
    std::optional<std::string> windowTitle;
    bool operator==(const Result&) const = default;
};

struct Failure {
    enum class Kind { noSelection, copyTimedOut, notTrusted, passwordField };
    // What the session lacks when the copy keystroke cannot be sent (`notTrusted`): an X display,
    // or the XTEST extension, and then whether accessibility was there to read instead; or a
    // Wayland session, where accessibility is the only way, with or without its bus.
    enum class Missing { display, xtest, xtestAndAccessibility, waylandCopy, waylandAccessibility };
    Kind kind;
    std::optional<std::string> app;
    Missing missing = Missing::display;
    // The message people see; `combo` is the stored hot-key combination.
    std::string message(HotkeyCombo combo) const;
    bool operator==(const Failure&) const = default;
};

std::expected<Result, Failure> capture(const SelectionSteps& steps,
                                       const std::optional<ActiveWindow>& frontmost);

// The window title a selection carries: the program's name taken off the end (" — NAME",
// " - NAME" or " – NAME"), trimmed, without the "untitled" family, at most 300 characters.
std::optional<std::string> focusedWindowTitle(std::string_view title,
                                              std::optional<std::string_view> appName);

// Whether the program's name (either part of its WM_CLASS) is a known terminal emulator's.
bool isKnownTerminal(const ActiveWindow& app);

// Whether the copy keystroke may go to the program: only when it is known not to be a terminal,
// by the role of its focused element or by its process holding no pseudo-terminal. When that
// cannot be told, the selection is read from the primary selection alone.
bool maySendCopyKeystroke(const SelectionSteps& steps, const std::optional<AccessibleFocus>& focus,
                          const std::optional<ActiveWindow>& app);

} // namespace TextSelectionCapture

} // namespace tarvo::desktop
