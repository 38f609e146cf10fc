#include <desktop/platform/x11/accessibility_bus.hpp>

#include <gio/gio.h>

#include <cstdlib>

namespace tarvo::desktop {

namespace {

bool sessionBusHasIt(std::chrono::milliseconds limit) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        g_clear_error(&error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<gint>(limit.count()),
        nullptr, &error);
    g_object_unref(bus);
    if (reply == nullptr) {
        g_clear_error(&error);
        return false;
    }
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    const bool found = address != nullptr && *address != '\0';
    g_variant_unref(reply);
    return found;
}

} // namespace

std::optional<AccessibilityBusSource> findAccessibilityBus(X11Connection& x11,
                                                           std::chrono::milliseconds limit) {
    if (sessionBusHasIt(limit)) {
        return AccessibilityBusSource::sessionBus;
    }
    const char* address = std::getenv("AT_SPI_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') {
        return AccessibilityBusSource::environment;
    }
    // The bus launcher announces the bus on the root window of X sessions.
    if (const auto bus = x11.property(x11.root(), "AT_SPI_BUS"); bus && bus->count > 0) {
        return AccessibilityBusSource::rootWindow;
    }
    return std::nullopt;
}

std::string describe(AccessibilityBusSource source) {
    switch (source) {
    case AccessibilityBusSource::sessionBus:
        return "org.a11y.Bus on the session bus";
    case AccessibilityBusSource::environment:
        return "AT_SPI_BUS_ADDRESS";
    case AccessibilityBusSource::rootWindow:
        break;
    }
    return "the X root window";
}

} // namespace tarvo::desktop
