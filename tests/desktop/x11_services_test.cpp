// The hot keys' grabs and the selection-capture steps against a real X server (Xvfb), with an
// accessibility bus of its own on which this program's widgets are the program in front.

#include "qt_event_loop.hpp"
#include "support/child_process.hpp"

#include <desktop/model/text_selection_capture.hpp>
#include <desktop/platform/x11/accessibility_bus.hpp>
#include <desktop/platform/x11/x11_error_trap.hpp>
#include <desktop/platform/x11/x11_hotkey_service.hpp>
#include <desktop/platform/x11/x11_selection_services.hpp>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QVBoxLayout>
#include <QWindow>
#include <xcb/xproto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace tarvo::desktop {
namespace {

using namespace std::chrono_literals;
using tarvo::test::runEventsFor;
using tarvo::test::runEventsUntil;

// A widget that answers Control+C by putting a text on the clipboard, and counts the keys it gets.
class CopyingWidget : public QWidget {
public:
    CopyingWidget() { setFocusPolicy(Qt::StrongFocus); }
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        ++keys;
        if (event->matches(QKeySequence::Copy)) {
            QGuiApplication::clipboard()->setText("copied by the widget");
        }
    }
};

// The role a CopyingWidget shows on the accessibility bus, from its "role" property.
QAccessibleInterface* roleFromProperty(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || className != QLatin1String("QWidget") ||
        !widget->property("role").isValid()) {
        return nullptr;
    }
    return new QAccessibleWidget(widget,
                                 static_cast<QAccessible::Role>(widget->property("role").toInt()));
}

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
        other = XOpenDisplay(nullptr);
        startAccessibilityBus();
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        static int argc = 1;
        static char name[] = "tarvo-x11-test";
        static char* argv[] = {name, nullptr};
        application = new QApplication(argc, argv);
        QAccessible::installFactory(roleFromProperty);
    }
    static void TearDownTestSuite() {
        delete application;
        // Programs the buses started keep the output pipes open: wait for the two alone.
        for (auto* child : {&busLauncher, &sessionBus}) {
            ::kill(child->pid, SIGTERM);
            ::waitpid(child->pid, nullptr, 0);
            ::close(child->outputFD);
            ::close(child->errorsFD);
        }
        XCloseDisplay(other);
        ::kill(xvfb.pid, SIGTERM);
        xvfb.finish();
    }

    // A session bus of the test's own and the accessibility bus its launcher announces on the
    // display's root window.
    static void startAccessibilityBus() {
        sessionBus = test::ChildProcess::start("/usr/bin/dbus-daemon",
                                               {"--session", "--nofork", "--print-address=1"}, {},
                                               test::ChildProcess::Errors::apart);
        sessionBus.awaitLine();
        ::setenv("DBUS_SESSION_BUS_ADDRESS",
                 sessionBus.received.substr(0, sessionBus.received.find('\n')).c_str(), 1);
        busLauncher =
            test::ChildProcess::start("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"},
                                      {}, test::ChildProcess::Errors::apart);
        const Atom announced = XInternAtom(other, "AT_SPI_BUS", False);
        for (int look = 0; look < 500 && !hasProperty(DefaultRootWindow(other), announced);
             ++look) {
            std::this_thread::sleep_for(20ms);
        }
    }
    static bool hasProperty(Window window, Atom name) {
        int count = 0;
        Atom* names = XListProperties(other, window, &count);
        const bool found =
            names != nullptr && std::find(names, names + count, name) != names + count;
        if (names != nullptr) {
            XFree(names);
        }
        return found;
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
        return onCaptureThreadOf(services, step);
    }
    template <typename Step> static auto onCaptureThreadOf(X11SelectionServices& on, Step step) {
        auto promise = std::make_shared<std::promise<decltype(step())>>();
        auto future = promise->get_future();
        on.thread().post([promise, step]() mutable { promise->set_value(step()); });
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
    static inline test::ChildProcess sessionBus;
    static inline test::ChildProcess busLauncher;
    static inline QApplication* application = nullptr;
    static inline Display* other = nullptr;
    X11SelectionServices services;
};

TEST_F(X11ServicesTest, AHotKeyFiresOncePerPressUntilItIsDroppedAndThenGivesItsGrabsBack) {
    X11HotkeyService hotkeys;
    int fired = 0;
    auto key = hotkeys.makeHotkey(1, 'C', [&] { ++fired; });
    ASSERT_EQ(key->registerCombo(HotkeyModifiers{.control = true, .alt = true}),
              HotkeyRegistration::registered);

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

TEST_F(X11ServicesTest, AKeyAnotherProgramHoldsIsTakenAndLeavesNoGrabBehind) {
    const auto keycode = XKeysymToKeycode(other, XK_t);
    XGrabKey(other, keycode, ControlMask | Mod1Mask, DefaultRootWindow(other), False, GrabModeAsync,
             GrabModeAsync);
    XSync(other, False);
    X11HotkeyService hotkeys;
    auto key = hotkeys.makeHotkey(2, 'T', [] {});
    EXPECT_EQ(key->registerCombo(HotkeyModifiers{.control = true, .alt = true}),
              HotkeyRegistration::taken);
    XUngrabKey(other, keycode, ControlMask | Mod1Mask, DefaultRootWindow(other));
    XSync(other, False);
    EXPECT_EQ(key->registerCombo(HotkeyModifiers{.control = true, .alt = true}),
              HotkeyRegistration::registered);
}

TEST_F(X11ServicesTest, KeyRepeatsDoNotFireAgainAndOtherEventsPassOn) {
    X11HotkeyService hotkeys;
    int fired = 0;
    auto key = hotkeys.makeHotkey(1, 'C', [&] { ++fired; });
    ASSERT_EQ(key->registerCombo(HotkeyModifiers{.control = true, .alt = true}),
              HotkeyRegistration::registered);
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

    const ActiveWindow someoneElse{
        .id = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0),
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

TEST_F(X11ServicesTest, APasswordGivesNothingATerminalNoKeystrokeAndAnEmptyClipboardStaysEmpty) {
    using TextSelectionCapture::Failure;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* plain = new QLineEdit("words in plain sight");
    auto* password = new QLineEdit("hunter2");
    password->setEchoMode(QLineEdit::Password);
    auto* terminal = new CopyingWidget;
    terminal->setProperty("role", static_cast<int>(QAccessible::Terminal));
    auto* canvas = new CopyingWidget;
    canvas->setProperty("role", static_cast<int>(QAccessible::Canvas));
    for (QWidget* widget : std::initializer_list<QWidget*>{plain, password, terminal, canvas}) {
        layout->addWidget(widget);
    }
    window.show();
    window.activateWindow();
    ASSERT_TRUE(runEventsUntil([&] { return QApplication::activeWindow() == &window; }, 5s));
    const ActiveWindow ours{.id = window.winId(),
                            .name = "tarvo-x11-test",
                            .identifier = "tarvo-x11-test",
                            .pid = ::getpid(),
                            .title = ""};
    const auto setOwner = [&](const char* selection, Window owner) {
        XSetSelectionOwner(other, XInternAtom(other, selection, False), owner, CurrentTime);
        XSync(other, False);
    };
    const auto captureFrom = [&](QWidget* focus) {
        focus->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
            edit->selectAll();
        }
        runEventsUntil([&] { return focus->hasFocus(); }, 5s);
        setOwner("PRIMARY", None);
        return onCaptureThread(
            [&] { return TextSelectionCapture::capture(services.steps(), ours); });
    };

    // The toolkit announces its widgets on the bus shortly after they are shown.
    plain->setFocus();
    plain->selectAll();
    ASSERT_TRUE(runEventsUntil(
        [&] {
            const auto focus =
                onCaptureThread([&] { return services.selectedText().accessibleFocus(ours); });
            return focus && focus->selection == "words in plain sight";
        },
        10s));
    auto captured = captureFrom(plain);
    ASSERT_TRUE(captured) << captured.error().message(HotkeyCombo::controlOption);
    EXPECT_EQ(captured->text, "words in plain sight");
    EXPECT_EQ(captured->method, "accessibility");

    // Not from the field, nor from this program's primary selection, nor by copying.
    password->setFocus();
    password->selectAll();
    runEventsUntil([&] { return password->hasFocus(); }, 5s);
    QGuiApplication::clipboard()->setText("in the primary selection", QClipboard::Selection);
    runEventsFor(50ms);
    captured =
        onCaptureThread([&] { return TextSelectionCapture::capture(services.steps(), ours); });
    ASSERT_FALSE(captured);
    EXPECT_EQ(captured.error().kind, Failure::Kind::passwordField);

    captured = captureFrom(terminal);
    ASSERT_FALSE(captured);
    EXPECT_EQ(captured.error().kind, Failure::Kind::noSelection);
    runEventsFor(200ms);
    EXPECT_EQ(terminal->keys, 0);

    // The keystroke reaches a program known not to be a terminal, and the clipboard it filled is
    // emptied again.
    setOwner("CLIPBOARD", None);
    captured = captureFrom(canvas);
    ASSERT_TRUE(captured) << captured.error().message(HotkeyCombo::controlOption);
    EXPECT_EQ(captured->text, "copied by the widget");
    EXPECT_EQ(captured->method, "copy");
    EXPECT_GT(canvas->keys, 0);
    const Atom clipboard = XInternAtom(other, "CLIPBOARD", False);
    EXPECT_TRUE(runEventsUntil([&] { return XGetSelectionOwner(other, clipboard) == None; }, 5s));
}

TEST_F(X11ServicesTest, WithoutAnyX11TheSelectionIsReadThroughTheSessionsAccessibilityBus) {
    using TextSelectionCapture::Failure;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit("read with no X server");
    layout->addWidget(field);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(runEventsUntil([&] { return QApplication::activeWindow() == &window; }, 5s));
    field->setFocus();
    field->selectAll();
    ASSERT_TRUE(runEventsUntil([&] { return field->hasFocus(); }, 5s));

    // A native Wayland client: no display to open, no bus address in the environment.
    const std::string display = std::getenv("DISPLAY");
    ::unsetenv("DISPLAY");
    ::unsetenv("AT_SPI_BUS_ADDRESS");
    X11SelectionServices wayland(true);
    X11Connection none;
    EXPECT_EQ(findAccessibilityBus(none, 2s), AccessibilityBusSource::sessionBus);
    std::optional<std::expected<TextSelectionCapture::Result, Failure>> captured;
    // The toolkit announces its widgets on the bus shortly after they are shown.
    ASSERT_TRUE(runEventsUntil(
        [&] {
            captured = onCaptureThreadOf(wayland, [&] {
                return TextSelectionCapture::capture(wayland.steps(), std::nullopt);
            });
            return captured->has_value();
        },
        10s))
        << captured->error().message(HotkeyCombo::controlOption);
    EXPECT_EQ(none.display(), nullptr);
    ::setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ((*captured)->text, "read with no X server");
    EXPECT_EQ((*captured)->method, "accessibility");
    EXPECT_EQ(wayland.copy().canSynthesise(), Synthesis::waylandSession);
}

} // namespace
} // namespace tarvo::desktop
