#include <desktop/platform/x11/x11_selected_text.hpp>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tarvo::desktop {

long X11SelectedText::windowPid(unsigned long window) {
    const auto pid = connection_.property(window, "_NET_WM_PID");
    return pid && pid->format == 32 && pid->count == 1 ? static_cast<long>(pid->first) : 0;
}

bool X11SelectedText::ownedBy(unsigned long owner, const ActiveWindow& app) {
    if (resourceMask_ != 0 && app.id != 0 &&
        (owner & ~resourceMask_) == (app.id & ~resourceMask_)) {
        return true;
    }
    return app.pid > 0 && windowPid(owner) == app.pid;
}

std::optional<std::string>
X11SelectedText::primarySelection(const std::optional<ActiveWindow>& app) {
    if (!app || connection_.display() == nullptr) {
        return std::nullopt;
    }
    const unsigned long owner = reader_.owner(XA_PRIMARY);
    if (owner == None || !ownedBy(owner, *app)) {
        return std::nullopt;
    }
    return reader_.text(XA_PRIMARY, primaryReadLimit);
}

} // namespace tarvo::desktop
