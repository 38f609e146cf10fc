#include <desktop/platform/wayland/wayland_selected_text.hpp>

namespace tarvo::desktop {

std::optional<std::string>
WaylandSelectedText::primarySelection(const std::optional<ActiveWindow>& app) {
    // Only X11 windows have ids: XWayland's X server tells which of its clients owns PRIMARY.
    if (app && app->id != 0) {
        return x11_.primarySelection(app);
    }
    return dataControl_.read(std::chrono::steady_clock::now() + primaryReadLimit);
}

} // namespace tarvo::desktop
