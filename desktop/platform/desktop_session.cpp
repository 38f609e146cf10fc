#include <desktop/platform/desktop_session.hpp>

#include <QGuiApplication>

namespace tarvo::desktop {

DesktopSession DesktopSession::detect(std::string_view platformName,
                                      std::string_view waylandDisplay,
                                      std::string_view currentDesktop) {
    const std::string platform = "Qt's platform is \"" + std::string(platformName) + "\"";
    const std::string desktop(currentDesktop);
    if (platformName.starts_with("wayland")) {
        return {SessionKind::wayland, platform, desktop};
    }
    if (!waylandDisplay.empty()) {
        const std::string display = "WAYLAND_DISPLAY is \"" + std::string(waylandDisplay) + "\"";
        // Another platform under a compositor (xcb, offscreen): global keys and the clipboard
        // of native windows are the compositor's, never the app's own X server's.
        return {platformName == "xcb" ? SessionKind::xwayland : SessionKind::wayland,
                platform + " and " + display, desktop};
    }
    return {SessionKind::x11, platform + " and WAYLAND_DISPLAY is unset", desktop};
}

DesktopSession DesktopSession::current() {
    return detect(QGuiApplication::platformName().toStdString(),
                  qEnvironmentVariable("WAYLAND_DISPLAY").toStdString(),
                  qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString());
}

std::string DesktopSession::kindName() const {
    switch (kind) {
    case SessionKind::x11:
        return "X11";
    case SessionKind::wayland:
        return "Wayland";
    case SessionKind::xwayland:
        break;
    }
    return "XWayland";
}

} // namespace tarvo::desktop
