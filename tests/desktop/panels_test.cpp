// The confirm panel, the selection toast and the quick-entry panel on an offscreen screen: their
// placement, texts, keys and timing.

#include "desktop/image_files.hpp"
#include "desktop/qt_event_loop.hpp"

#include <desktop/platform/fake/fake_desktop_services.hpp>
#include <desktop/ui/confirm_panel.hpp>
#include <desktop/ui/panel_placement.hpp>
#include <desktop/ui/quick_entry_panel.hpp>
#include <desktop/ui/selection_toast.hpp>

#include <support/temporary_folder.hpp>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tarvo::desktop {
namespace {

using namespace std::chrono_literals;
using tarvo::test::runEventsFor;
using tarvo::test::runEventsUntil;
using Route = DesktopUploader::Route;

QApplication& widgets() {
    static int argc = 1;
    static char name[] = "tarvo-capture-desktop";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: at exit it would outlive Qt's own statics.
    static auto* application = new QApplication(argc, argv);
    return *application;
}

QRect available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

struct ConfirmPanelTest : ::testing::Test {
    tarvo::test::TemporaryFolder folder;
    std::vector<std::string> calls;
    std::optional<Route> sentRoute;
    ConfirmPanelController controller;

    ConfirmPanelTest() {
        widgets();
        controller.setActions({
            .onSend =
                [this](Route route) {
                    calls.push_back("send");
                    sentRoute = std::move(route);
                },
            .onSkip = [this] { calls.push_back("skip"); },
            .onSendAll = [this] { calls.push_back("send all"); },
            .onSkipAll = [this] { calls.push_back("skip all"); },
        });
    }

    DetectedScreenshot shot(const std::string& name) {
        const auto file = folder / name;
        tarvo::test::saveImage(file, tarvo::test::screenshotLikeImage(1600, 900), "PNG");
        return DetectedScreenshot{.url = file,
                                  .createdAt = {},
                                  .size = 1,
                                  .fingerprint = name + "|1|1",
                                  .frontmostWindowTitle = "Ada Lovelace"};
    }
    template <typename Widget> Widget* named(const QString& name) const {
        for (auto* widget : controller.view()->findChildren<Widget*>()) {
            if (widget->accessibleName() == name && widget->isVisibleTo(controller.panel())) {
                return widget;
            }
        }
        return nullptr;
    }
    // A key as the keyboard delivers it: to the focused control, else to the panel's content.
    void press(Qt::Key key) {
        QApplication::setActiveWindow(controller.panel());
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused != nullptr ? focused : controller.view(), key);
    }
};

TEST_F(ConfirmPanelTest, ShowsTheShotWithTheQueueBehindItInTheBottomRightCorner) {
    const auto first = shot("Screenshot 1.png");
    controller.show(first, 2, first.frontmostWindowTitle);
    QWidget* panel = controller.panel();
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(panel->size(), QSize(320, 260));
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(panel->geometry().bottomRight(), available().bottomRight() - QPoint(20, 20));
    EXPECT_FALSE(named<QLineEdit>("Their name")) << "hidden until rapport is chosen";

    named<QPushButton>("Send all 3")->click();
    named<QPushButton>("Skip all")->click();
    press(Qt::Key_Escape);
    press(Qt::Key_Return);
    // A focused button takes Enter and Space for itself: Skip skips.
    named<QPushButton>("Skip")->setFocus();
    press(Qt::Key_Return);
    press(Qt::Key_Space);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"send all", "skip all", "skip", "send", "skip", "skip"}));
    EXPECT_EQ(sentRoute, Route::stash());

    controller.show(first, 0, std::nullopt);
    EXPECT_FALSE(named<QPushButton>("Skip all"));
}

TEST_F(ConfirmPanelTest, TheRapportChoiceNeedsANameAndTakesTheWindowTitleAsAHint) {
    const auto first = shot("a.png");
    controller.show(first, 0, first.frontmostWindowTitle);
    named<QCheckBox>("Use as someone's photo in rapport")->click();
    QLineEdit* name = named<QLineEdit>("Their name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->text(), "Ada Lovelace");
    QPushButton* setPhoto = named<QPushButton>("Set photo");
    ASSERT_TRUE(setPhoto);

    name->setText("  \n ");
    EXPECT_FALSE(setPhoto->isEnabled());
    press(Qt::Key_Return);
    EXPECT_TRUE(calls.empty());

    name->setText("  Grace Hopper ");
    press(Qt::Key_Return);
    EXPECT_EQ(sentRoute, Route::rapportAvatar("Grace Hopper"));

    // The same shot again keeps the choice; another shot starts afresh.
    controller.show(first, 1, first.frontmostWindowTitle);
    EXPECT_EQ(named<QLineEdit>("Their name")->text(), "  Grace Hopper ");
    controller.show(shot("b.png"), 0, std::nullopt);
    EXPECT_FALSE(named<QLineEdit>("Their name"));
    named<QCheckBox>("Use as someone's photo in rapport")->click();
    EXPECT_EQ(named<QLineEdit>("Their name")->text(), "");
    EXPECT_FALSE(named<QPushButton>("Set photo")->isEnabled());
}

TEST_F(ConfirmPanelTest, ThePreviewArrivesFromAWorkerAndOnlyForTheShotShown) {
    const auto first = shot("first.png");
    const auto second = shot("second.png");
    controller.show(first, 1, std::nullopt);
    controller.show(second, 0, std::nullopt); // before the first preview is ready
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.view()->preview().isNull(); }, 10000));
    const QImage preview = controller.view()->preview();
    EXPECT_EQ(controller.view()->shot().fingerprint, second.fingerprint);
    EXPECT_EQ(std::max(preview.width(), preview.height()), ConfirmPopupView::previewSide);
    QTest::qWait(200);
    EXPECT_EQ(controller.view()->shot().fingerprint, second.fingerprint);
    EXPECT_EQ(controller.view()->preview().cacheKey(), preview.cacheKey())
        << "a late preview of the first shot must not replace the second's";

    // A name made of markup is shown as it is written.
    const auto marked = shot("<h1><font color=red>Signed out: enter password.png");
    controller.show(marked, 0, std::nullopt);
    QLabel* name = nullptr;
    for (auto* label : controller.view()->findChildren<QLabel*>()) {
        if (label->text().startsWith("<h1>")) {
            name = label;
        }
    }
    ASSERT_TRUE(name);
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
}

QStringList labels(const QWidget* panel) {
    QStringList texts;
    for (const auto* label : panel->findChildren<QLabel*>()) {
        if (label->isVisibleTo(panel) && !label->text().isEmpty()) {
            texts << label->text();
        }
    }
    return texts;
}

TEST(SelectionToastTest, ShowsTheCaptureInTheCornerUntilUndone) {
    widgets();
    SelectionToastController toast;
    int undone = 0;
    toast.show("the selected words", QString("Mousepad"), QString("Ctrl+Alt+Z"), [&] { ++undone; });
    QWidget* panel = toast.panel();
    ASSERT_TRUE(toast.isShowing());
    EXPECT_EQ(panel->size(), QSize(340, 120));
    EXPECT_EQ(panel->frameGeometry().bottomRight() + QPoint(21, 21),
              available().bottomRight() + QPoint(1, 1));
    EXPECT_TRUE(labels(panel).contains("the selected words"));
    EXPECT_TRUE(labels(panel).contains("Press Ctrl+Alt+Z to undo"));
    const auto* alert = QAccessible::queryAccessibleInterface(panel);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->role(), QAccessible::AlertMessage) << "a screen reader hears it";
    EXPECT_EQ(alert->text(QAccessible::Name), "Captured from Mousepad: the selected words");
    EXPECT_EQ(toast.view()->remaining(), 6s) << "as long as the undo window";
    panel->findChild<QPushButton*>()->click();
    runEventsFor(10ms);
    EXPECT_EQ(undone, 1);
    EXPECT_FALSE(toast.isShowing());
}

TEST(SelectionToastTest, ANewCaptureReplacesTheTextAndRestartsTheTime) {
    widgets();
    // Long enough that a stalled event loop on a busy machine cannot pass either end.
    SelectionToastController toast(1500ms);
    toast.show("first", std::nullopt, std::nullopt, [] {});
    runEventsFor(900ms);
    toast.show("second", std::nullopt, std::nullopt, [] {});
    EXPECT_EQ(toast.view()->remaining(), 1500ms);
    EXPECT_TRUE(labels(toast.panel()).contains("Captured"));
    EXPECT_TRUE(labels(toast.panel()).contains("second"));
    EXPECT_FALSE(labels(toast.panel()).contains("first"));
    runEventsFor(900ms);
    EXPECT_TRUE(toast.isShowing()) << "the first capture's time would have run out by now";
    EXPECT_TRUE(runEventsUntil([&] { return !toast.isShowing(); }, 3s));
}

TEST(PanelPlacementTest, APanelGoesToTheScreenThatHoldsTheMiddleOfTheWindow) {
    const std::vector<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 2560, 1440)};
    EXPECT_EQ(PanelPlacement::screenHolding({100, 100, 800, 600}, screens), 0u);
    // Mostly on the right-hand monitor, though it starts on the left one.
    EXPECT_EQ(PanelPlacement::screenHolding({1500, 200, 1600, 900}, screens), 1u);
    EXPECT_EQ(PanelPlacement::screenHolding({5000, 5000, 10, 10}, screens), std::nullopt);
}

TEST(SelectionToastTest, ALongCaptureShowsItsStartAndHowLongItIs) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QString text;
    for (int line = 1; line <= 80; ++line) {
        text += QStringLiteral("line %1 of a long capture 👩‍👩‍👧\n").arg(line);
    }
    const QString shown = SelectionToastView::shownText(text);
    EXPECT_TRUE(shown.startsWith("line 1 of a long capture 👩‍👩‍👧\nline 2"))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("…\n2,231 characters in all")) << shown.toStdString();
    EXPECT_EQ(shown.count('\n'), 3) << "three lines of the text, then the length";
    EXPECT_EQ(SelectionToastView::shownText("short enough"), "short enough");
}

TEST(SelectionToastTest, SelectedMarkupIsShownAndToldAsTheCharactersItIs) {
    widgets();
    SelectionToastController toast;
    const QString markup = "<h1><font color=red>Nothing selected, nothing will be sent</font></h1>";
    toast.show(markup, QString("<b>Editor</b>"), std::nullopt, [] {});
    EXPECT_TRUE(labels(toast.panel()).contains(markup));
    EXPECT_TRUE(labels(toast.panel()).contains("Captured from <b>Editor</b>"));
    for (const auto* label : toast.panel()->findChildren<QLabel*>()) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    }
    const auto* alert = QAccessible::queryAccessibleInterface(toast.panel());
    EXPECT_EQ(alert->text(QAccessible::Name), "Captured from <b>Editor</b>: " + markup);
}

class QuickEntryPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        widgets();
        frontmost.window = editor;
    }
    void type(const QString& text) {
        panel.view()->field()->setText(text);
        QTest::keyClick(panel.view()->field(), Qt::Key_Return);
    }
    QString caption() const { return panel.view()->captionLine()->text(); }
    QString field() const { return panel.view()->field()->text(); }

    ActiveWindow editor{
        .id = 7, .name = "Mousepad", .identifier = "mousepad", .pid = 1, .title = "notes"};
    fake::FakeFrontmostApp frontmost;
    std::vector<std::string> sent;
    std::function<void(QuickEntryOutcome)> pending;
    QuickEntryPanelController panel{frontmost};

    QuickEntryPanelTest() {
        panel.setSend([this](const std::string& text, auto done) {
            sent.push_back(text);
            pending = std::move(done);
        });
    }
};

TEST_F(QuickEntryPanelTest, SendsEachTextOnceAndSaysWhatBecameOfIt) {
    panel.show();
    ASSERT_TRUE(panel.isShowing());
    EXPECT_EQ(panel.panel()->width(), 440);
    EXPECT_GE(panel.panel()->height(), 92);
    EXPECT_EQ(panel.panel()->geometry().top(), available().top() + 72);
    EXPECT_EQ(panel.panel()->geometry().center().x(), available().center().x());
    EXPECT_EQ(caption(), "Enter sends to docket’s inbox · Esc closes");

    type("  buy stamps\n");
    QTest::keyClick(panel.view()->field(), Qt::Key_Return); // ignored while sending
    pending(QuickEntryOutcome::sent());
    EXPECT_EQ(caption(), "Sent to docket ✓");
    EXPECT_TRUE(field().isEmpty());
    type("offline thought");
    pending(QuickEntryOutcome::queued("server 503"));
    EXPECT_EQ(caption(), "Saved — will send when it can (server 503)");
    EXPECT_TRUE(field().isEmpty());
    type("refused thought");
    pending(QuickEntryOutcome::failed("Ingest returned 422"));
    EXPECT_EQ(caption(), "Couldn’t send — Ingest returned 422. Your text is still here.");
    EXPECT_EQ(field(), "refused thought");
    type("far away thought");
    pending(QuickEntryOutcome::failed(
        "Failed to connect to 127.0.0.1 port 42629 after 0 ms: Couldn't connect to server"));
    const QLabel* line = panel.view()->captionLine();
    EXPECT_GE(line->height(), line->heightForWidth(line->width())) << "the whole reason shows";
    EXPECT_LE(line->mapTo(panel.panel(), QPoint(0, line->height())).y(), panel.panel()->height());
    EXPECT_EQ(sent, (std::vector<std::string>{"buy stamps", "offline thought", "refused thought",
                                              "far away thought"}));
    EXPECT_TRUE(panel.isShowing());
    panel.show();
    EXPECT_EQ(caption(), "Enter sends to docket’s inbox · Esc closes");
}

TEST_F(QuickEntryPanelTest, EscapeAndAnEmptyEnterGiveTheFocusBackToTheFirstWindow) {
    panel.show();
    frontmost.window = ActiveWindow{
        .id = 9, .name = "tarvo", .identifier = "", .pid = 2, .title = "Quick task to docket"};
    panel.show(); // a second press keeps the editor as the window to return to
    QTest::keyClick(panel.view(), Qt::Key_Escape);
    EXPECT_FALSE(panel.isShowing());
    EXPECT_EQ(frontmost.activated, std::vector{editor});

    panel.show();
    type("   ");
    EXPECT_FALSE(panel.isShowing());
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(frontmost.activated.size(), 2U);
}

} // namespace
} // namespace tarvo::desktop
