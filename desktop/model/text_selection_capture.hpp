#pragma once

// Reads the text selected in whatever program is in front when the selection hot key is pressed:
// first without touching the clipboard (the focused accessible text, then the primary selection
// when the frontmost program owns it), else by sending the copy keystroke and reading the
// clipboard, which is put back as it was afterwards. Runs on the selection-capture thread: its
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
    enum class Kind { noSelection, copyTimedOut, notTrusted };
    Kind kind;
    std::optional<std::string> app;
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

// The copy keystroke for the program, or none for terminals that read every Control+Shift+C as an
// interrupt (their selection is always the primary one).
std::optional<CopyKeystroke> copyKeystroke(const std::optional<ActiveWindow>& app);

} // namespace TextSelectionCapture

} // namespace tarvo::desktop
