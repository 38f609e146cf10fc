#pragma once

// The focused element of the frontmost program, with its role and selection, read through AT-SPI
// when the session's accessibility bus is on. Used by the capture thread alone: libatspi keeps its
// state there and dispatches its bus connection on that thread's main context.

#include <desktop/platform/frontmost_app.hpp>
#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/x11/x11_connection.hpp>

#include <optional>
#include <string>

namespace tarvo::desktop {

class AtspiSelection {
public:
    explicit AtspiSelection(X11Connection& connection) : connection_(connection) {}

    // The focused element in the program's active window (any program's active window when its
    // process is unknown); absent when there is none, or no bus.
    std::optional<AccessibleFocus> read(const std::optional<ActiveWindow>& app);
    // The active window of another program: its name, its frame's title and its process; absent
    // when no program has an active window (or the bus is off).
    std::optional<ActiveWindow> activeWindow();
    // Whether the session announces an accessibility bus (nothing is started to find out).
    bool busIsOn() const;

private:
    bool start();

    X11Connection& connection_;
    bool started_ = false;
};

} // namespace tarvo::desktop
