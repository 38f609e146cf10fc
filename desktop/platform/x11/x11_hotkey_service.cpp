#include <desktop/platform/x11/x11_hotkey_service.hpp>

#include <desktop/platform/x11/x11_error_trap.hpp>
#include <desktop/platform/x11/x11_global_hotkey.hpp>

#include <QCoreApplication>
#include <QGuiApplication>
#include <xcb/xproto.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cctype>

namespace tarvo::desktop {

namespace {

// The modifiers a combo can hold; lock states and mouse buttons are left out when matching.
constexpr unsigned int comboModifierBits = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

unsigned int numLockMask(Display* display) {
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display);
    unsigned int mask = 0;
    for (int modifier = 0; map != nullptr && numLock != 0 && modifier < 8; ++modifier) {
        for (int slot = 0; slot < map->max_keypermod; ++slot) {
            if (map->modifiermap[modifier * map->max_keypermod + slot] == numLock) {
                mask = 1U << modifier;
            }
        }
    }
    if (map != nullptr) {
        XFreeModifiermap(map);
    }
    return mask;
}

} // namespace

X11HotkeyService::X11HotkeyService() {
    if (auto* x11 = qGuiApp != nullptr
                        ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                        : nullptr) {
        display_ = x11->display();
    }
    if (display_ != nullptr) {
        root_ = DefaultRootWindow(display_);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyService::~X11HotkeyService() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

std::unique_ptr<GlobalHotkey> X11HotkeyService::makeHotkey(std::uint32_t id, char letter,
                                                           std::function<void()> action) {
    return std::make_unique<X11GlobalHotkey>(*this, id, letter, std::move(action));
}

unsigned int X11HotkeyService::keycode(char letter) const {
    const int lower = std::tolower(static_cast<unsigned char>(letter));
    if (display_ == nullptr || lower < 'a' || lower > 'z') {
        return 0;
    }
    return XKeysymToKeycode(display_, static_cast<KeySym>(XK_a + (lower - 'a')));
}

std::vector<unsigned int> X11HotkeyService::lockVariants() const {
    const unsigned int numLock = numLockMask(display_);
    std::vector<unsigned int> variants{0, LockMask};
    if (numLock != 0) {
        variants.push_back(numLock);
        variants.push_back(numLock | LockMask);
    }
    return variants;
}

HotkeyRegistration X11HotkeyService::grab(X11GlobalHotkey& key, unsigned int keycode,
                                          unsigned int modifiers) {
    if (display_ == nullptr) {
        return HotkeyRegistration::refused;
    }
    const auto variants = lockVariants();
    X11ErrorTrap trap(display_);
    for (const unsigned int variant : variants) {
        XGrabKey(display_, static_cast<int>(keycode), modifiers | variant, root_, False,
                 GrabModeAsync, GrabModeAsync);
    }
    if (const int error = trap.failure(); error != 0) {
        // Refused in some lock state (BadAccess: another program holds it): keep none of the grabs.
        for (const unsigned int variant : variants) {
            XUngrabKey(display_, static_cast<int>(keycode), modifiers | variant, root_);
        }
        trap.failed();
        return error == BadAccess ? HotkeyRegistration::taken : HotkeyRegistration::refused;
    }
    grabbed_.push_back(&key);
    return HotkeyRegistration::registered;
}

void X11HotkeyService::ungrab(X11GlobalHotkey& key, unsigned int keycode, unsigned int modifiers) {
    std::erase(grabbed_, &key);
    if (display_ == nullptr) {
        return;
    }
    for (const unsigned int variant : lockVariants()) {
        XUngrabKey(display_, static_cast<int>(keycode), modifiers | variant, root_);
    }
    XFlush(display_);
}

X11GlobalHotkey* X11HotkeyService::keyFor(unsigned int keycode, unsigned int state) const {
    const auto found = std::ranges::find_if(grabbed_, [&](const X11GlobalHotkey* key) {
        return key->matches(keycode, state & comboModifierBits);
    });
    return found != grabbed_.end() ? *found : nullptr;
}

bool X11HotkeyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || display_ == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    // Grabbed with owner events off, so the grab's events always name the root window.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != root_) {
        return false;
    }
    if (type == XCB_KEY_PRESS) {
        X11GlobalHotkey* hotkey = keyFor(key->detail, key->state);
        if (hotkey == nullptr) {
            return false;
        }
        hotkey->pressed(key->time);
        return true;
    }
    // A release may come after the modifiers were let go: match the key alone.
    const auto held = std::ranges::find_if(
        grabbed_, [&](const X11GlobalHotkey* hotkey) { return hotkey->holdsKeycode(key->detail); });
    if (held == grabbed_.end()) {
        return false;
    }
    (*held)->released(key->time);
    return true;
}

} // namespace tarvo::desktop
