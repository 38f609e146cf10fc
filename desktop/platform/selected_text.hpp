#pragma once

// Reads the text selected in the frontmost program without touching the clipboard. Called on the
// selection-capture thread only; the calls may wait briefly for the other program.

#include <desktop/platform/frontmost_app.hpp>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace tarvo::desktop {

// A primary selection larger than this is not read.
inline constexpr std::size_t maxSelectionBytes = 64 * 1024 * 1024;
// How long a read of the primary selection may take, its owner's answer included.
inline constexpr std::chrono::milliseconds primaryReadLimit{500};

// The focused element of the frontmost program as the accessibility bus describes it.
struct AccessibleFocus {
    enum class Role {
        other,
        passwordText, // its text is a secret, whatever it shows
        terminal,     // a terminal emulator: Control+C there interrupts the running program
    };
    Role role = Role::other;
    std::string selection; // empty when nothing is selected or the element holds no text
    bool operator==(const AccessibleFocus&) const = default;
};

class SelectedText {
public:
    virtual ~SelectedText() = default;
    // Whether the session's accessibility bus is on.
    virtual bool accessibilityOn() = 0;
    // The focused element of the program's active window (any program's when its process is
    // unknown); absent when the bus is off or no focused element was found in time.
    virtual std::optional<AccessibleFocus>
    accessibleFocus(const std::optional<ActiveWindow>& app) = 0;
    // The primary selection, only when the frontmost window's program owns it where the session
    // can tell; `app` is absent when the frontmost window is unknown.
    virtual std::optional<std::string> primarySelection(const std::optional<ActiveWindow>& app) = 0;
    // The active window as the accessibility bus sees it, for sessions that do not tell which
    // window is in front; absent where the session does or the bus cannot say.
    virtual std::optional<ActiveWindow> activeWindow() { return std::nullopt; }
};

} // namespace tarvo::desktop
