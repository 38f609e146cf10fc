#include <desktop/platform/x11/x11_global_hotkey.hpp>

#include <desktop/platform/x11/x11_hotkey_service.hpp>

#include <QCoreApplication>
#include <QMetaObject>

namespace tarvo::desktop {

namespace {
// Held keys repeat every few tens of milliseconds; a press this long after the last event of a key
// still marked as held means its release was never seen.
constexpr std::uint32_t repeatGapMs = 1000;

// The X11 modifier bits: ControlMask, Mod1Mask (Alt), Mod4Mask (Super).
unsigned int x11Modifiers(HotkeyModifiers modifiers) {
    constexpr unsigned int controlMask = 1U << 2;
    constexpr unsigned int mod1Mask = 1U << 3;
    constexpr unsigned int mod4Mask = 1U << 6;
    return (modifiers.control ? controlMask : 0) | (modifiers.alt ? mod1Mask : 0) |
           (modifiers.super ? mod4Mask : 0);
}

} // namespace

X11GlobalHotkey::X11GlobalHotkey(X11HotkeyService& service, std::uint32_t id, char letter,
                                 std::function<void()> action)
    : service_(service), id_(id), letter_(letter), action_(std::move(action)) {}

X11GlobalHotkey::~X11GlobalHotkey() {
    release();
}

HotkeyRegistration X11GlobalHotkey::registerCombo(HotkeyModifiers held) {
    release();
    const unsigned int keycode = service_.keycode(letter_);
    if (keycode == 0) {
        return HotkeyRegistration::refused;
    }
    const unsigned int modifiers = x11Modifiers(held);
    const auto registration = service_.grab(*this, keycode, modifiers);
    if (registration == HotkeyRegistration::registered) {
        grab_ = Grab{keycode, modifiers};
    }
    return registration;
}

bool X11GlobalHotkey::matches(unsigned int keycode, unsigned int modifiers) const {
    return grab_ && grab_->keycode == keycode && grab_->modifiers == modifiers;
}

void X11GlobalHotkey::pressed(std::uint32_t time) {
    const bool repeat = down_ ? time - lastEventTime_ < repeatGapMs : lastReleaseTime_ == time;
    down_ = true;
    lastEventTime_ = time;
    if (repeat) {
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [action = action_] { action(); }, Qt::QueuedConnection);
}

void X11GlobalHotkey::released(std::uint32_t time) {
    down_ = false;
    lastEventTime_ = time;
    lastReleaseTime_ = time;
}

void X11GlobalHotkey::release() {
    if (grab_) {
        service_.ungrab(*this, grab_->keycode, grab_->modifiers);
        grab_.reset();
    }
    down_ = false;
    lastReleaseTime_.reset();
}

} // namespace tarvo::desktop
