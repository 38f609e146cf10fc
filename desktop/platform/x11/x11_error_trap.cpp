#include <desktop/platform/x11/x11_error_trap.hpp>

#include <X11/Xlib.h>

#include <atomic>

namespace tarvo::desktop {

namespace {

std::atomic<Display*> trappedDisplay{nullptr};
std::atomic<bool> errorSeen{false};
XErrorHandler previousHandler = nullptr;

int trapError(Display* display, XErrorEvent* error) {
    if (display == trappedDisplay.load()) {
        errorSeen = true;
        return 0;
    }
    return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    errorSeen = false;
    trappedDisplay = display_;
    previousHandler = XSetErrorHandler(trapError);
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previousHandler);
    trappedDisplay = nullptr;
}

bool X11ErrorTrap::failed() {
    XSync(display_, False);
    return errorSeen.exchange(false);
}

} // namespace tarvo::desktop
