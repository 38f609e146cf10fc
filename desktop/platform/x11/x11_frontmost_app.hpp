#pragma once

// The frontmost window by the window manager's account (EWMH _NET_ACTIVE_WINDOW): the program's
// name and instance from WM_CLASS, its pid from _NET_WM_PID and the title from _NET_WM_NAME (else
// WM_NAME). Works over a private XCB connection, so it may be asked from any thread and a window
// that vanishes meanwhile is only a failed reply.

#include <desktop/platform/frontmost_app.hpp>

#include <memory>
#include <mutex>

namespace tarvo::desktop {

class X11FrontmostApp final : public FrontmostApp {
public:
    X11FrontmostApp();
    ~X11FrontmostApp() override;

    std::optional<ActiveWindow> active() const override;
    std::optional<WindowBounds> bounds(const ActiveWindow& window) const override;
    bool activate(const ActiveWindow& window) override;

private:
    struct Connection;
    mutable std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
};

} // namespace tarvo::desktop
