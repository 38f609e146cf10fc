#include <desktop/platform/wayland/wayland_connection.hpp>

#include <desktop/platform/wayland/descriptor_wait.hpp>

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>

namespace tarvo::desktop {

WaylandConnection::WaylandConnection(const std::string& name) {
    if (!name.empty()) {
        display_ = wl_display_connect(name.c_str());
    }
}

WaylandConnection::~WaylandConnection() {
    if (display_ != nullptr) {
        wl_display_disconnect(display_);
    }
}

bool WaylandConnection::flush(Deadline deadline) {
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN || !waitUntilReady(wl_display_get_fd(display_), POLLOUT, deadline)) {
            return false;
        }
    }
    return true;
}

bool WaylandConnection::dispatchUntil(const std::function<bool()>& done, Deadline deadline) {
    for (;;) {
        if (wl_display_dispatch_pending(display_) < 0) {
            return false;
        }
        if (done()) {
            return true;
        }
        // Events queued since the dispatch are handled first.
        if (wl_display_prepare_read(display_) != 0) {
            continue;
        }
        if (!flush(deadline) || !waitUntilReady(wl_display_get_fd(display_), POLLIN, deadline)) {
            wl_display_cancel_read(display_);
            return false;
        }
        if (wl_display_read_events(display_) < 0) {
            return false;
        }
    }
}

bool WaylandConnection::roundtrip(Deadline deadline) {
    wl_callback* callback = wl_display_sync(display_);
    bool answered = false;
    static constexpr wl_callback_listener listener{.done = [](void* data, wl_callback*, uint32_t) {
        *static_cast<bool*>(data) = true;
    }};
    wl_callback_add_listener(callback, &listener, &answered);
    const bool done = dispatchUntil([&] { return answered; }, deadline);
    wl_callback_destroy(callback);
    return done;
}

} // namespace tarvo::desktop
