#pragma once

// Finds the accessibility (AT-SPI) bus the way assistive technologies do: asked of org.a11y.Bus
// on the session bus, then AT_SPI_BUS_ADDRESS, then the AT_SPI_BUS property of the X root window
// where there is an X server. Safe on any thread; the session bus call is bounded by `limit`.

#include <desktop/platform/x11/x11_connection.hpp>

#include <chrono>
#include <optional>
#include <string>

namespace tarvo::desktop {

enum class AccessibilityBusSource { sessionBus, environment, rootWindow };

// The first way that finds a bus; absent when none does. A bus launcher that is not running is
// not started: turning accessibility on is the desktop's choice.
std::optional<AccessibilityBusSource> findAccessibilityBus(X11Connection& x11,
                                                           std::chrono::milliseconds limit);

// "org.a11y.Bus on the session bus", "AT_SPI_BUS_ADDRESS", "the X root window".
std::string describe(AccessibilityBusSource source);

} // namespace tarvo::desktop
