#include <desktop/platform/x11/x11_selection_services.hpp>

#include <QGuiApplication>
#include <xcb/xcb.h>

namespace tarvo::desktop {

namespace {

// Every client of a server gets the same resource-id mask; read it from the app's connection.
unsigned long resourceIdMask() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return 0;
    }
    return xcb_get_setup(x11->connection())->resource_id_mask;
}

} // namespace

X11SelectionServices::X11SelectionServices(bool waylandSession)
    : selectedText_(connection_, resourceIdMask()), clipboard_(connection_),
      copy_(connection_, waylandSession), modifiers_(connection_) {}

} // namespace tarvo::desktop
