#pragma once

// Tells a terminal emulator by its process: a terminal holds the controlling (master) side of the
// pseudo-terminals its programs run on, whatever it is called. Called on the selection-capture
// thread only.

#include <desktop/platform/frontmost_app.hpp>

#include <optional>

namespace tarvo::desktop {

class TerminalProbe {
public:
    virtual ~TerminalProbe() = default;
    // Whether the window's process holds a pseudo-terminal's master side; absent when the process
    // cannot be looked at (unknown, gone, or another user's).
    virtual std::optional<bool> holdsTerminal(const ActiveWindow& app) = 0;
};

} // namespace tarvo::desktop
