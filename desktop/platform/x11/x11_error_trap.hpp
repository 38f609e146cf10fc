#pragma once

// Catches the X errors of one connection while it lives, so a refused request is seen at once as a
// failure rather than reported later to nobody. Errors of other connections go on to the handler
// that was installed before, which is put back when the trap ends. One trap at a time.

typedef struct _XDisplay Display;

namespace tarvo::desktop {

class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits until the server has handled every request sent so far; true when any of them failed
    // since the trap was set or last asked.
    bool failed();
    // The same, giving the code of the first error (BadAccess, …), or 0.
    int failure();

private:
    Display* display_;
};

} // namespace tarvo::desktop
