#pragma once

// The desktop's notifications: what happens while the menu is closed (a capture that failed or
// waits in the outbox, a hot key that found nothing) is said where the desktop says such things.

#include <string>

namespace tarvo::desktop {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Shows one notification; a newer one replaces the app's earlier one. Never blocks, and does
    // nothing where the desktop has no notification service.
    virtual void notify(const std::string& summary, const std::string& body) = 0;
};

} // namespace tarvo::desktop
