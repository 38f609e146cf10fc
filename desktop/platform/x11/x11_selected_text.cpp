#include <desktop/platform/x11/x11_selected_text.hpp>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tarvo::desktop {

namespace {
constexpr std::chrono::milliseconds readTimeout{500};
} // namespace

long X11SelectedText::windowPid(unsigned long window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* value = nullptr;
    const int status =
        XGetWindowProperty(connection_.display(), window, connection_.atom("_NET_WM_PID"), 0, 1,
                           False, XA_CARDINAL, &type, &format, &count, &remaining, &value);
    long pid = 0;
    if (status == Success && value != nullptr && format == 32 && count == 1) {
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(value));
    }
    if (value != nullptr) {
        XFree(value);
    }
    return pid;
}

bool X11SelectedText::ownedBy(unsigned long owner, const ActiveWindow& app) {
    if (resourceMask_ != 0 && app.id != 0 &&
        (owner & ~resourceMask_) == (app.id & ~resourceMask_)) {
        return true;
    }
    return app.pid > 0 && windowPid(owner) == app.pid;
}

std::optional<std::string> X11SelectedText::primarySelection(const ActiveWindow& app) {
    if (connection_.display() == nullptr) {
        return std::nullopt;
    }
    const unsigned long owner = reader_.owner(XA_PRIMARY);
    if (owner == None || !ownedBy(owner, app)) {
        return std::nullopt;
    }
    return reader_.text(XA_PRIMARY, readTimeout);
}

} // namespace tarvo::desktop
