#include <desktop/platform/x11/x11_synthetic_copy.hpp>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <array>
#include <thread>
#include <vector>

namespace tarvo::desktop {

namespace {

constexpr std::chrono::milliseconds readTimeout{1000};
// Some programs look at the keyboard's state while handling the key; hold it for a moment.
constexpr std::chrono::milliseconds holdTime{8};

} // namespace

Synthesis X11SyntheticCopy::canSynthesise() {
    if (waylandSession_) {
        return Synthesis::waylandSession;
    }
    if (connection_.display() == nullptr) {
        return Synthesis::noDisplay;
    }
    return connection_.hasXTest() ? Synthesis::available : Synthesis::noXTest;
}

bool X11SyntheticCopy::sendKeystroke() {
    Display* display = connection_.display();
    const std::array<KeySym, 2> keys{XK_Control_L, XK_c};
    std::vector<unsigned int> codes;
    for (const KeySym key : keys) {
        const KeyCode code = XKeysymToKeycode(display, key);
        if (code == 0) {
            return false;
        }
        codes.push_back(code);
    }
    for (const unsigned int code : codes) {
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    }
    XSync(display, False);
    std::this_thread::sleep_for(holdTime);
    // Every key pressed is released, in the reverse order.
    for (auto code = codes.rbegin(); code != codes.rend(); ++code) {
        XTestFakeKeyEvent(display, *code, False, CurrentTime);
    }
    XSync(display, False);
    return true;
}

CopyResult X11SyntheticCopy::copy(std::chrono::milliseconds timeout) {
    if (canSynthesise() != Synthesis::available) {
        return CannotSynthesise{};
    }
    const std::uint64_t before = connection_.clipboardChanges();
    if (!sendKeystroke()) {
        return CannotSynthesise{};
    }
    XEvent event;
    const bool changed = connection_.waitFor(
        [&](const XEvent&) { return connection_.clipboardChangesSeen() != before; }, event,
        std::chrono::steady_clock::now() + timeout);
    if (!changed && connection_.clipboardChanges() == before) {
        return CopyTimedOut{};
    }
    return reader_.text(connection_.atom("CLIPBOARD"), readTimeout).value_or(std::string());
}

} // namespace tarvo::desktop
