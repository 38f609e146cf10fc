#include <desktop/platform/x11/x11_error_trap.hpp>

#include <X11/Xlib.h>

#include <atomic>

namespace tarvo::desktop {

namespace {

std::atomic<Display*> trappedDisplay{nullptr};
// The code of the first error since the trap was set or last asked; 0 when none.
std::atomic<int> firstError{0};
XErrorHandler previousHandler = nullptr;

int trapError(Display* display, XErrorEvent* error) {
    if (display == trappedDisplay.load()) {
        int none = 0;
        firstError.compare_exchange_strong(none, error->error_code);
        return 0;
    }
    return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    firstError = 0;
    trappedDisplay = display_;
    previousHandler = XSetErrorHandler(trapError);
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previousHandler);
    trappedDisplay = nullptr;
}

bool X11ErrorTrap::failed() {
    return failure() != 0;
}

int X11ErrorTrap::failure() {
    XSync(display_, False);
    return firstError.exchange(0);
}

} // namespace tarvo::desktop
