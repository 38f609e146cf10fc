#pragma once

// A private connection to the Wayland compositor whose every wait ends by a deadline: libwayland's
// own round trip waits for as long as the compositor takes, and a stuck compositor must not stop
// the capture thread. Used by one thread at a time, on the default event queue.

#include <chrono>
#include <functional>
#include <string>

struct wl_display;

namespace tarvo::desktop {

class WaylandConnection {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Connects to the display socket named like WAYLAND_DISPLAY (a name in XDG_RUNTIME_DIR or an
    // absolute path); no connection when the name is empty or nothing answers there.
    explicit WaylandConnection(const std::string& name);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    // Null without a connection.
    wl_display* display() const { return display_; }
    // Sends the requests made so far; false when the deadline passed or the connection broke.
    bool flush(Deadline deadline);
    // Handles the compositor's events until `done` says so (true), the deadline passes or the
    // connection breaks (false).
    bool dispatchUntil(const std::function<bool()>& done, Deadline deadline);
    // Once true, every event the compositor sent before answering has been handled.
    bool roundtrip(Deadline deadline);

private:
    wl_display* display_ = nullptr;
};

} // namespace tarvo::desktop
