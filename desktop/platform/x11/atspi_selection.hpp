#pragma once

// The selection of the focused accessible text, read through AT-SPI when the session's
// accessibility bus is on. Used by the capture thread alone: libatspi keeps its state there and
// dispatches its bus connection on that thread's main context.

#include <desktop/platform/frontmost_app.hpp>
#include <desktop/platform/x11/x11_connection.hpp>

#include <optional>
#include <string>

namespace tarvo::desktop {

class AtspiSelection {
public:
    explicit AtspiSelection(X11Connection& connection) : connection_(connection) {}

    // The selected text of the focused text in the program's active window (any program's active
    // window when its process is unknown); absent when there is no such text or no bus.
    std::optional<std::string> read(const std::optional<ActiveWindow>& app);

private:
    bool busIsOn();
    bool start();

    X11Connection& connection_;
    bool started_ = false;
};

} // namespace tarvo::desktop
