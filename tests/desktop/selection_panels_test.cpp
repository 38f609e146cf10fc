// The selection toast and the quick-entry panel on an offscreen screen.

#include "qt_event_loop.hpp"

#include <desktop/platform/fake/fake_desktop_services.hpp>
#include <desktop/ui/quick_entry_panel.hpp>
#include <desktop/ui/selection_toast.hpp>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvo::desktop {
namespace {

using namespace std::chrono_literals;
using tarvo::test::runEventsFor;
using tarvo::test::runEventsUntil;

QApplication& widgets() {
    static int argc = 1;
    static char name[] = "tarvo-panels-test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: at exit it would outlive Qt's own statics.
    static auto* application = new QApplication(argc, argv);
    return *application;
}

QRect available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
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

TEST(SelectionToastTest, ShowsTheCaptureInTheCornerWithoutTakingTheFocus) {
    widgets();
    SelectionToastController toast;
    int undone = 0;
    toast.show("the selected words", QString("Mousepad"), [&] { ++undone; });
    QWidget* panel = toast.panel();
    ASSERT_TRUE(toast.isShowing());
    EXPECT_EQ(panel->size(), QSize(340, 120));
    EXPECT_EQ(panel->frameGeometry().bottomRight() + QPoint(21, 21),
              available().bottomRight() + QPoint(1, 1));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(labels(panel).contains("Captured from Mousepad"));
    EXPECT_TRUE(labels(panel).contains("the selected words"));

    runEventsFor(350ms);
    EXPECT_LE(toast.view()->remaining(), 5700ms);
    EXPECT_GE(toast.view()->remaining(), 5000ms);
    panel->findChild<QPushButton*>()->click();
    runEventsFor(10ms);
    EXPECT_EQ(undone, 1);
    EXPECT_FALSE(toast.isShowing());
}

TEST(SelectionToastTest, ANewCaptureReplacesTheTextAndRestartsTheTime) {
    widgets();
    SelectionToastController toast(600ms);
    toast.show("first", std::nullopt, [] {});
    runEventsFor(350ms);
    toast.show("second", std::nullopt, [] {});
    EXPECT_EQ(toast.view()->remaining(), 600ms);
    EXPECT_TRUE(labels(toast.panel()).contains("Captured"));
    EXPECT_TRUE(labels(toast.panel()).contains("second"));
    EXPECT_FALSE(labels(toast.panel()).contains("first"));
    runEventsFor(400ms);
    EXPECT_TRUE(toast.isShowing());
    EXPECT_TRUE(runEventsUntil([&] { return !toast.isShowing(); }, 2s));
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

    ActiveWindow editor{
        .id = 7, .name = "Mousepad", .identifier = "mousepad", .pid = 1, .title = "notes"};
    fake::FakeFrontmostApp frontmost;
    std::vector<std::string> sent;
    std::function<void(QuickEntryOutcome)> pending;
    QuickEntryPanelController panel{frontmost, [this](const std::string& text, auto done) {
                                        sent.push_back(text);
                                        pending = std::move(done);
                                    }};
};

TEST_F(QuickEntryPanelTest, SendsThoughtAfterThoughtAndKeepsTheBoxOpen) {
    panel.show();
    ASSERT_TRUE(panel.isShowing());
    EXPECT_EQ(panel.panel()->size(), QSize(440, 92));
    EXPECT_EQ(panel.panel()->geometry().top(), available().top() + 72);
    EXPECT_EQ(panel.panel()->geometry().center().x(), available().center().x());
    EXPECT_EQ(panel.view()->field()->placeholderText(), "What’s on your mind?");
    EXPECT_EQ(caption(), "Enter sends to docket’s inbox · Esc closes");

    for (const QString thought : {"  buy stamps\n", "call Ana", "book the car"}) {
        type(thought);
        QTest::keyClick(panel.view()->field(), Qt::Key_Return); // ignored while sending
        pending(QuickEntryOutcome::sent());
        EXPECT_EQ(caption(), "Sent to docket ✓");
        EXPECT_TRUE(panel.view()->field()->text().isEmpty());
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"buy stamps", "call Ana", "book the car"}));
    EXPECT_TRUE(panel.isShowing());
}

TEST_F(QuickEntryPanelTest, SaysWhatBecameOfTheText) {
    panel.show();
    type("offline thought");
    pending(QuickEntryOutcome::queued("server 503"));
    EXPECT_EQ(caption(), "Saved — will send when it can (server 503)");
    EXPECT_TRUE(panel.view()->field()->text().isEmpty());
    type("refused thought");
    pending(QuickEntryOutcome::failed("Ingest returned 422"));
    EXPECT_EQ(caption(), "Couldn’t send — Ingest returned 422. Your text is still here.");
    EXPECT_EQ(panel.view()->field()->text(), "refused thought");
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
