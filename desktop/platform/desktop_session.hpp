#pragma once

// The kind of graphical session the app runs in, which decides the platform services it works
// through: X11 grabs and selections in an X11 session; in a Wayland session the desktop's own ways,
// with the X11 selection steps kept for the X11 windows of XWayland.

#include <string>
#include <string_view>

namespace tarvo::desktop {

enum class SessionKind {
    x11,
    // Qt talks Wayland to the compositor.
    wayland,
    // Qt talks X11 to the compositor's X server; other programs may be native Wayland clients.
    xwayland,
};

struct DesktopSession {
    SessionKind kind;
    // Why this kind, for the log.
    std::string reason;
    // XDG_CURRENT_DESKTOP, or empty.
    std::string desktop;

    // From Qt's platform plugin name and the session's WAYLAND_DISPLAY and XDG_CURRENT_DESKTOP.
    static DesktopSession detect(std::string_view platformName, std::string_view waylandDisplay,
                                 std::string_view currentDesktop);
    // The running application's session.
    static DesktopSession current();

    // "X11", "Wayland", "XWayland".
    std::string kindName() const;
    // Grabs and synthetic keys reach every window only where X11 is the whole session.
    bool allowsX11Grabs() const { return kind == SessionKind::x11; }
    bool hasX11Display() const { return kind != SessionKind::wayland; }
};

} // namespace tarvo::desktop
