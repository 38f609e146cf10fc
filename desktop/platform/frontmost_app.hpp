#pragma once

// The window the person is working in, so a panel that takes focus can give it back.

#include <optional>
#include <string>

namespace tarvo::desktop {

struct ActiveWindow {
    unsigned long id = 0;   // the window system's id
    std::string name;       // the program's name (WM_CLASS class part)
    std::string identifier; // the program's instance (WM_CLASS instance part)
    long pid = 0;           // 0 when unknown or of another machine
    std::string title;
    bool operator==(const ActiveWindow&) const = default;
};

// Where a window is on the screens, in the window system's own pixels.
struct WindowBounds {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowBounds&) const = default;
};

class FrontmostApp {
public:
    virtual ~FrontmostApp() = default;
    virtual std::optional<ActiveWindow> active() const = 0;
    // Where the window is now; absent when the window system does not say.
    virtual std::optional<WindowBounds> bounds(const ActiveWindow&) const { return std::nullopt; }
    // Asks the window manager to activate the window again; false when it is gone.
    virtual bool activate(const ActiveWindow& window) = 0;
};

} // namespace tarvo::desktop
