#include <desktop/platform/x11/x11_connection.hpp>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

#include <poll.h>

namespace tarvo::desktop {

X11Connection::~X11Connection() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

void X11Connection::open() {
    opened_ = true;
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        return;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    xtest_ = XTestQueryExtension(display_, &event, &error, &major, &minor) != False;
    const Window rootWindow = DefaultRootWindow(display_);
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    window_ = XCreateWindow(display_, rootWindow, -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                            CopyFromParent, CWEventMask, &attributes);
    clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
    if (XFixesQueryExtension(display_, &event, &error) != False) {
        xfixesEventBase_ = event;
        XFixesSelectSelectionInput(display_, rootWindow, clipboard_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    }
    XSync(display_, False);
}

Display* X11Connection::display() {
    if (!opened_) {
        open();
    }
    return display_;
}

bool X11Connection::hasXTest() {
    return display() != nullptr && xtest_;
}

unsigned long X11Connection::atom(const char* name) {
    return display() != nullptr ? XInternAtom(display_, name, False) : 0;
}

unsigned long X11Connection::root() {
    return display() != nullptr ? DefaultRootWindow(display_) : 0;
}

unsigned long X11Connection::window() {
    display();
    return window_;
}

std::optional<X11Connection::Property> X11Connection::property(unsigned long window,
                                                               const char* name) {
    if (display() == nullptr) {
        return std::nullopt;
    }
    Atom type = None;
    Property value;
    unsigned long remaining = 0;
    unsigned char* items = nullptr;
    const int status =
        XGetWindowProperty(display_, window, atom(name), 0, 1, False, AnyPropertyType, &type,
                           &value.format, &value.count, &remaining, &items);
    if (items != nullptr && value.count > 0) {
        value.first = value.format == 32 ? *reinterpret_cast<unsigned long*>(items)
                                         : static_cast<unsigned long>(items[0]);
    }
    if (items != nullptr) {
        XFree(items);
    }
    if (status != Success || type == None) {
        return std::nullopt;
    }
    value.count += remaining > 0 ? 1 : 0;
    return value;
}

void X11Connection::handle(const XEvent& event) {
    if (xfixesEventBase_ >= 0 && event.type == xfixesEventBase_ + XFixesSelectionNotify &&
        reinterpret_cast<const XFixesSelectionNotifyEvent&>(event).selection == clipboard_) {
        ++clipboardChanges_;
    }
}

bool X11Connection::waitFor(const std::function<bool(const XEvent&)>& wanted, XEvent& event,
                            Deadline deadline) {
    if (display() == nullptr) {
        return false;
    }
    for (;;) {
        while (XPending(display_) > 0) {
            XNextEvent(display_, &event);
            handle(event);
            if (wanted(event)) {
                return true;
            }
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd descriptor{.fd = ConnectionNumber(display_), .events = POLLIN, .revents = 0};
        poll(&descriptor, 1, static_cast<int>(left.count()));
    }
}

std::uint64_t X11Connection::clipboardChanges() {
    if (display() != nullptr) {
        XSync(display_, False);
        XEvent event;
        while (XPending(display_) > 0) {
            XNextEvent(display_, &event);
            handle(event);
        }
    }
    return clipboardChanges_;
}

} // namespace tarvo::desktop
