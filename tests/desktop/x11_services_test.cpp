// The hot keys' grabs and the selection-capture steps against a real X server (Xvfb).

#include "qt_event_loop.hpp"
#include "support/child_process.hpp"

#include <desktop/platform/x11/x11_error_trap.hpp>
#include <desktop/platform/x11/x11_hotkey_service.hpp>
#include <desktop/platform/x11/x11_selection_services.hpp>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QWindow>
#include <xcb/xproto.h>

#include <gtest/gtest.h>

#include <future>
#include <memory>

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace tarvo::desktop {
namespace {

using namespace std::chrono_literals;
using tarvo::test::runEventsFor;
using tarvo::test::runEventsUntil;

class X11ServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A private X server, which writes its display number once it accepts connections.
        xvfb = test::ChildProcess::start(
            "/bin/sh",
            {"-c", "exec Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null"});
        xvfb.awaitLine();
        if (!xvfb.received.ends_with('\n')) {
            throw std::runtime_error("Xvfb did not start");
        }
        ::setenv("DISPLAY", (":" + xvfb.received.substr(0, xvfb.received.size() - 1)).c_str(), 1);
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int argc = 1;
        static char name[] = "tarvo-x11-test";
        static char* argv[] = {name, nullptr};
        application = new QGuiApplication(argc, argv);
        other = XOpenDisplay(nullptr);
    }
    static void TearDownTestSuite() {
        XCloseDisplay(other);
        delete application;
        ::kill(xvfb.pid, SIGTERM);
        xvfb.finish();
    }

    // Types a key with modifiers as another program would, through XTEST.
    static void type(std::initializer_list<KeySym> keys) {
        for (const KeySym key : keys) {
            XTestFakeKeyEvent(other, XKeysymToKeycode(other, key), True, CurrentTime);
        }
        for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
            XTestFakeKeyEvent(other, XKeysymToKeycode(other, *key), False, CurrentTime);
        }
        XSync(other, False);
    }

    template <typename Step> auto onCaptureThread(Step step) {
        auto promise = std::make_shared<std::promise<decltype(step())>>();
        auto future = promise->get_future();
        services.thread().post([promise, step]() mutable { promise->set_value(step()); });
        runEventsUntil([&] { return future.wait_for(0s) == std::future_status::ready; }, 10s);
        return future.get();
    }

    static QByteArray readClipboard(const char* target) {
        QProcess xclip;
        xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", target});
        runEventsUntil([&] { return xclip.state() == QProcess::NotRunning; }, 5s);
        return xclip.readAllStandardOutput();
    }

    static inline test::ChildProcess xvfb;
    static inline QGuiApplication* application = nullptr;
    static inline Display* other = nullptr;
    X11SelectionServices services;
};

TEST_F(X11ServicesTest, AHotKeyFiresOncePerPressUntilItIsDroppedAndThenGivesItsGrabsBack) {
    X11HotkeyService hotkeys;
    int fired = 0;
    auto key = hotkeys.makeHotkey(1, 'C', [&] { ++fired; });
    ASSERT_TRUE(key->registerCombo(HotkeyModifiers{.control = true, .alt = true}));

    type({XK_Control_L, XK_Alt_L, XK_c});
    EXPECT_TRUE(runEventsUntil([&] { return fired == 1; }, 5s));
    key.reset();
    type({XK_Control_L, XK_Alt_L, XK_c});
    runEventsFor(300ms);
    EXPECT_EQ(fired, 1);
    // Every grab was given back: another program may now take the key.
    X11ErrorTrap trap(other);
    XGrabKey(other, XKeysymToKeycode(other, XK_c), ControlMask | Mod1Mask, DefaultRootWindow(other),
             False, GrabModeAsync, GrabModeAsync);
    EXPECT_FALSE(trap.failed());
    XUngrabKey(other, XKeysymToKeycode(other, XK_c), ControlMask | Mod1Mask,
               DefaultRootWindow(other));
}

TEST_F(X11ServicesTest, KeyRepeatsDoNotFireAgainAndOtherEventsPassOn) {
    X11HotkeyService hotkeys;
    int fired = 0;
    auto key = hotkeys.makeHotkey(1, 'C', [&] { ++fired; });
    ASSERT_TRUE(key->registerCombo(HotkeyModifiers{.control = true, .alt = true}));
    const auto root = static_cast<xcb_window_t>(DefaultRootWindow(other));
    const auto event = [&](std::uint8_t type, KeySym letter, xcb_timestamp_t time,
                           xcb_window_t window) {
        xcb_key_press_event_t key{};
        key.response_type = type;
        key.detail = static_cast<xcb_keycode_t>(XKeysymToKeycode(other, letter));
        key.state = ControlMask | Mod1Mask | Mod2Mask;
        key.time = time;
        key.event = window;
        return hotkeys.nativeEventFilter("xcb_generic_event_t", &key, nullptr);
    };
    EXPECT_TRUE(event(XCB_KEY_PRESS, XK_c, 100, root));
    EXPECT_TRUE(event(XCB_KEY_PRESS, XK_c, 140, root));   // held: repeated presses
    EXPECT_TRUE(event(XCB_KEY_RELEASE, XK_c, 600, root)); // held: release-press pairs
    EXPECT_TRUE(event(XCB_KEY_PRESS, XK_c, 600, root));
    EXPECT_TRUE(event(XCB_KEY_RELEASE, XK_c, 700, root));
    EXPECT_TRUE(event(XCB_KEY_PRESS, XK_c, 900, root));
    EXPECT_FALSE(event(XCB_KEY_PRESS, XK_x, 950, root));
    EXPECT_FALSE(event(XCB_KEY_PRESS, XK_c, 990, root + 1));
    runEventsFor(100ms);
    EXPECT_EQ(fired, 2);
}

TEST_F(X11ServicesTest, ThePrimarySelectionIsReadOnlyFromTheFrontmostProgram) {
    QWindow window;
    window.create();
    QGuiApplication::clipboard()->setText("  picked by the mouse", QClipboard::Selection);
    runEventsFor(50ms);
    const ActiveWindow ours{
        .id = window.winId(), .name = "tarvo-x11-test", .identifier = "", .pid = 0, .title = ""};
    EXPECT_EQ(onCaptureThread([&] { return services.selectedText().primarySelection(ours); }),
              "  picked by the mouse");

    const ActiveWindow someoneElse{.id = DefaultRootWindow(other) + 0x400000,
                                   .name = "Other",
                                   .identifier = "",
                                   .pid = 1,
                                   .title = ""};
    EXPECT_EQ(
        onCaptureThread([&] { return services.selectedText().primarySelection(someoneElse); }),
        std::nullopt);
}

TEST_F(X11ServicesTest, TheClipboardComesBackWithEveryFormat) {
    auto* mime = new QMimeData();
    mime->setText("text before");
    mime->setData("image/png", QByteArray("\x89PNG\r\n\x1a\n-not-really", 19));
    mime->setData("application/x-tarvo-note", "note");
    QGuiApplication::clipboard()->setMimeData(mime);
    auto saved = onCaptureThread([&] { return services.clipboard().snapshot(); });
    ASSERT_EQ(saved.size(), 1U);
    EXPECT_EQ(saved[0].contents.at("text/plain"), "text before");
    EXPECT_EQ(saved[0].contents.at("application/x-tarvo-note"), "note");

    QGuiApplication::clipboard()->setText("what the copy put there");
    services.clipboard().restore(saved);
    runEventsFor(50ms);
    EXPECT_EQ(readClipboard("UTF8_STRING"), "text before");
    EXPECT_EQ(readClipboard("image/png"), QByteArray("\x89PNG\r\n\x1a\n-not-really", 19));
    EXPECT_EQ(readClipboard("application/x-tarvo-note"), "note");
}

TEST_F(X11ServicesTest, AHeldModifierIsSeenAndCanBeReleased) {
    XTestFakeKeyEvent(other, XKeysymToKeycode(other, XK_Control_L), True, CurrentTime);
    XSync(other, False);
    EXPECT_TRUE(onCaptureThread([&] { return services.modifiers().anyHeld(); }));
    EXPECT_FALSE(onCaptureThread([&] {
        services.modifiers().releaseHeld();
        return services.modifiers().anyHeld();
    }));
}

} // namespace
} // namespace tarvo::desktop
