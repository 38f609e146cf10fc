#include <desktop/platform/x11/x11_modifier_state.hpp>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>

namespace tarvo::desktop {

namespace {

// The modifiers a hot key can use, Shift (which would turn Control+C into another key), and the
// hot keys' letters.
constexpr std::array<KeySym, 16> watchedKeys{
    XK_Control_L,        XK_Control_R, XK_Alt_L,   XK_Alt_R,      XK_Meta_L,  XK_Meta_R,
    XK_Super_L,          XK_Super_R,   XK_Hyper_L, XK_Hyper_R,    XK_Shift_L, XK_Shift_R,
    XK_ISO_Level3_Shift, XK_c,         XK_t,       XK_Mode_switch};

} // namespace

std::vector<unsigned int> X11ModifierState::heldKeycodes() {
    Display* display = connection_.display();
    if (display == nullptr) {
        return {};
    }
    char keys[32] = {};
    XQueryKeymap(display, keys);
    std::vector<unsigned int> held;
    for (const KeySym key : watchedKeys) {
        const KeyCode code = XKeysymToKeycode(display, key);
        if (code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0 &&
            std::ranges::find(held, code) == held.end()) {
            held.push_back(code);
        }
    }
    return held;
}

void X11ModifierState::releaseHeld() {
    const auto held = heldKeycodes();
    if (held.empty() || !connection_.hasXTest()) {
        return;
    }
    for (const unsigned int code : held) {
        XTestFakeKeyEvent(connection_.display(), code, False, CurrentTime);
    }
    XSync(connection_.display(), False);
}

} // namespace tarvo::desktop
