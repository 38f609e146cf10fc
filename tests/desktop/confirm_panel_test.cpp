// The confirm panel on an offscreen screen: its texts, keys, rapport choice and placement.

#include "desktop/image_files.hpp"

#include <desktop/ui/confirm_panel.hpp>

#include <support/temporary_folder.hpp>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tarvo::desktop {
namespace {

using Route = DesktopUploader::Route;

QApplication& widgetsApplication() {
    static int argc = 1;
    static char name[] = "tarvo-capture-desktop";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: at exit it would outlive Qt's own statics.
    static auto* application = new QApplication(argc, argv);
    return *application;
}

struct ConfirmPanelTest : ::testing::Test {
    tarvo::test::TemporaryFolder folder;
    std::vector<std::string> calls;
    std::optional<Route> sentRoute;
    ConfirmPanelController controller{{
        .onSend =
            [this](Route route) {
                calls.push_back("send");
                sentRoute = std::move(route);
            },
        .onSkip = [this] { calls.push_back("skip"); },
        .onSendAll = [this] { calls.push_back("send all"); },
        .onSkipAll = [this] { calls.push_back("skip all"); },
    }};

    ConfirmPanelTest() { widgetsApplication(); }

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
    void press(Qt::Key key) {
        QApplication::setActiveWindow(controller.panel());
        QTest::keyClick(controller.panel(), key);
    }
};

TEST_F(ConfirmPanelTest, ShowsTheShotWithTheQueueBehindItInTheBottomRightCorner) {
    const auto first = shot("Screenshot 1.png");
    controller.show(first, 2, first.frontmostWindowTitle);
    QWidget* panel = controller.panel();
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(panel->size(), QSize(320, 260));
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(panel->geometry().bottomRight(), area.bottomRight() - QPoint(20, 20));

    for (const char* text : {"Send to stash?", "2 more", "Screenshot 1.png"}) {
        EXPECT_TRUE(named<QLabel>(text)) << text;
    }
    for (const char* text : {"Skip", "Skip all", "Send all 3", "Send"}) {
        EXPECT_TRUE(named<QPushButton>(text)) << text;
    }
    EXPECT_FALSE(named<QLineEdit>("Their name")) << "hidden until rapport is chosen";

    named<QPushButton>("Send all 3")->click();
    named<QPushButton>("Skip all")->click();
    press(Qt::Key_Escape);
    press(Qt::Key_Return);
    EXPECT_EQ(calls, (std::vector<std::string>{"send all", "skip all", "skip", "send"}));
    EXPECT_EQ(sentRoute, Route::stash());

    controller.show(first, 0, std::nullopt);
    EXPECT_FALSE(named<QLabel>("0 more"));
    EXPECT_FALSE(named<QPushButton>("Skip all"));
    controller.hide();
    EXPECT_FALSE(controller.isVisible());
}

TEST_F(ConfirmPanelTest, TheRapportChoiceNeedsANameAndTakesTheWindowTitleAsAHint) {
    const auto first = shot("a.png");
    controller.show(first, 0, first.frontmostWindowTitle);
    named<QCheckBox>("Use as someone's photo in rapport")->click();
    QLineEdit* name = named<QLineEdit>("Their name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->text(), "Ada Lovelace");
    EXPECT_EQ(name->placeholderText(), "Their name");
    EXPECT_TRUE(named<QLabel>("Matched by name. If it isn't an exact match it goes to rapport "
                              "for review — never guessed onto the wrong person."));
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
    const auto second = shot("b.png");
    controller.show(second, 0, std::nullopt);
    EXPECT_FALSE(named<QLineEdit>("Their name"));
    EXPECT_TRUE(named<QPushButton>("Send"));
    named<QCheckBox>("Use as someone's photo in rapport")->click();
    EXPECT_EQ(named<QLineEdit>("Their name")->text(), "");
    EXPECT_FALSE(named<QPushButton>("Set photo")->isEnabled());
}

} // namespace
} // namespace tarvo::desktop
