// The global keys through the desktop's shortcuts portal, against a fake portal front-end on a
// private session bus: what is bound and in which order, presses, the desktop's changes, its
// refusals, a portal that never answers, one that restarts, and one without shortcuts.

#include <desktop/model/desktop_key_texts.hpp>
#include <desktop/model/selection_controller.hpp>
#include <desktop/platform/wayland/portal_hotkey_service.hpp>

#include "qt_event_loop.hpp"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <memory>

namespace tarvo::desktop {
namespace {

using namespace std::chrono_literals;
using State = DesktopKeys::State;

constexpr auto patience = 30s;
const QString appId = QStringLiteral("org.tarvo.test.Capture");
const QString fakePortal =
    QStringLiteral(TARVO_TEST_SOURCE_DIR "/desktop/fakes/global_shortcuts_portal.py");

class PortalHotkeyServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApplication();
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
        ASSERT_TRUE(test::runEventsUntil([&] { return bus_.canReadLine(); }, patience));
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        connection_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, QStringLiteral("portal-test")));
        ASSERT_TRUE(connection_->isConnected());
    }

    void TearDown() override {
        stopService();
        stopPortal();
        connection_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal-test"));
        bus_.terminate();
        bus_.waitForFinished();
    }

    void startPortal(const QStringList& options = {}) {
        portal_ = std::make_unique<QProcess>();
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        portal_->setProcessEnvironment(environment);
        portal_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        portal_->start(QStringLiteral("/usr/bin/python3"), QStringList{fakePortal} + options);
        ASSERT_TRUE(test::runEventsUntil(
            [&] { return portal_->canReadLine() && portal_->readLine().startsWith("ready"); },
            patience));
    }

    void stopPortal() {
        if (portal_) {
            portal_->terminate();
            portal_->waitForFinished();
            portal_.reset();
        }
    }

    // The service, with the selection key and the quick-entry key switched on (Ctrl+Alt).
    void startService(std::chrono::milliseconds limit = GlobalShortcutsPortal::answerLimit) {
        service_ = std::make_unique<PortalHotkeyService>(
            *connection_, appId, SelectionController::desktopShortcuts(), limit);
        service_->setDesktopKeysChanged([this] { ++changes_; });
        selectionKey_ = makeKey(SelectionController::selectionKeyID, 'C', selectionPresses_);
        quickEntryKey_ = makeKey(SelectionController::quickEntryKeyID, 'T', quickEntryPresses_);
    }

    // Keys first: each tells the service when it goes.
    void stopService() {
        selectionKey_.reset();
        quickEntryKey_.reset();
        service_.reset();
    }

    std::unique_ptr<GlobalHotkey> makeKey(std::uint32_t id, char letter, int& presses) {
        auto key = service_->makeHotkey(id, letter, [&presses] { ++presses; });
        EXPECT_EQ(key->registerCombo({.control = true, .alt = true}),
                  HotkeyRegistration::byDesktop);
        return key;
    }

    DesktopKeys keys() const { return service_->desktopKeys().value(); }

    bool waitForState(State state) {
        return test::runEventsUntil([&] { return keys().state == state; }, patience);
    }

    QDBusMessage sideDoor(const QString& method, const QVariantList& arguments = {}) {
        auto call =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                           QStringLiteral("/org/tarvo/test/FakePortal"),
                                           QStringLiteral("org.tarvo.test.FakePortal"), method);
        call.setArguments(arguments);
        return connection_->call(call);
    }

    // The calls the portal received, in order: {"method", "arguments"}.
    QJsonArray calls() {
        return QJsonDocument::fromJson(
                   sideDoor(QStringLiteral("Calls")).arguments()[0].toString().toUtf8())
            .array();
    }

    QStringList methods() {
        QStringList names;
        for (const auto& call : calls()) {
            names << call.toObject()[QStringLiteral("method")].toString();
        }
        return names;
    }

    void press(const QString& id, const QString& token = {}) {
        sideDoor(QStringLiteral("Trigger"), {id, token});
    }

    QProcess bus_;
    QString address_;
    std::unique_ptr<QDBusConnection> connection_;
    std::unique_ptr<QProcess> portal_;
    std::unique_ptr<PortalHotkeyService> service_;
    std::unique_ptr<GlobalHotkey> selectionKey_;
    std::unique_ptr<GlobalHotkey> quickEntryKey_;
    int selectionPresses_ = 0;
    int quickEntryPresses_ = 0;
    int changes_ = 0;
};

TEST_F(PortalHotkeyServiceTest, BindsBothKeysOnceAfterNamingTheAppAndRunsTheirPresses) {
    startPortal();
    startService();
    ASSERT_TRUE(waitForState(State::bound));

    EXPECT_EQ(methods(),
              (QStringList{"Register", "CreateSession", "ListShortcuts", "BindShortcuts"}));
    EXPECT_EQ(calls()[0].toObject()["arguments"].toArray()[0].toString(), appId);
    const auto bound = calls()[3].toObject()["arguments"].toArray()[1].toArray();
    ASSERT_EQ(bound.size(), 2);
    const auto offered = [&](int index, const char* property) {
        return bound[index].toArray()[1].toObject()[property].toString();
    };
    EXPECT_EQ(bound[0].toArray()[0].toString(), "capture-selection");
    EXPECT_EQ(offered(0, "description"), "Capture selected text");
    EXPECT_EQ(offered(0, "preferred_trigger"), "CTRL+ALT+c");
    EXPECT_EQ(bound[1].toArray()[0].toString(), "quick-entry");
    EXPECT_EQ(offered(1, "description"), "Quick task to docket");
    EXPECT_EQ(offered(1, "preferred_trigger"), "CTRL+ALT+t");
    EXPECT_EQ(keys().triggers,
              (std::map<std::uint32_t, std::string>{{1, "Ctrl+Alt+C"}, {2, "Ctrl+Alt+T"}}));
    EXPECT_GT(changes_, 0);

    press(QStringLiteral("capture-selection"), QStringLiteral("token-7"));
    ASSERT_TRUE(test::runEventsUntil([&] { return selectionPresses_ == 1; }, patience));
    EXPECT_EQ(qgetenv("XDG_ACTIVATION_TOKEN"), "token-7");

    // Switched off: the session keeps the binding, the presses go nowhere.
    quickEntryKey_.reset();
    press(QStringLiteral("quick-entry"));
    press(QStringLiteral("capture-selection"));
    ASSERT_TRUE(test::runEventsUntil([&] { return selectionPresses_ == 2; }, patience));
    EXPECT_EQ(quickEntryPresses_, 0);

    // The person changes the key in the desktop's settings.
    sideDoor(QStringLiteral("Assign"),
             {QStringLiteral("capture-selection"), QStringLiteral("Super+Shift+K")});
    ASSERT_TRUE(
        test::runEventsUntil([&] { return keys().triggers[1] == "Super+Shift+K"; }, patience));
    EXPECT_EQ(DesktopKeyTexts::keyLine(keys(), 1),
              "Super+Shift+K — set in your desktop’s settings");
    EXPECT_EQ(methods().count("BindShortcuts"), 1);
}

TEST_F(PortalHotkeyServiceTest, KeepsWhatTheDesktopAssignedAndSaysWhichKeyHasNone) {
    startPortal({"--assign", "capture-selection=Super+Shift+K", "--unassigned", "quick-entry"});
    startService();
    ASSERT_TRUE(waitForState(State::bound));
    EXPECT_EQ(keys().triggers, (std::map<std::uint32_t, std::string>{{1, "Super+Shift+K"}}));
    EXPECT_EQ(DesktopKeyTexts::keyLine(keys(), 2),
              "No key assigned yet — assign one in your desktop’s keyboard settings.");
    EXPECT_EQ(DesktopKeyTexts::note(keys(), false), std::nullopt);

    // The undo key is never offered to the desktop.
    auto undo = service_->makeHotkey(SelectionController::undoKeyID, 'Z', [] {});
    EXPECT_EQ(undo->registerCombo({.control = true, .alt = true}), HotkeyRegistration::unsupported);

    // A new combination is proposed in a new session, since a key is still unassigned.
    selectionKey_->registerCombo({.control = true, .super = true});
    ASSERT_TRUE(
        test::runEventsUntil([&] { return methods().count("BindShortcuts") == 2; }, patience));
    ASSERT_TRUE(waitForState(State::bound));
    EXPECT_TRUE(methods().contains("Close"));
    const auto rebound = calls().last().toObject()["arguments"].toArray()[1].toArray();
    EXPECT_EQ(rebound[1].toArray()[1].toObject()["preferred_trigger"].toString(), "CTRL+LOGO+t");
    EXPECT_EQ(keys().triggers.at(1), "Super+Shift+K");
}

TEST_F(PortalHotkeyServiceTest, ARefusalLeavesNoKeyAndNamesTheCommandsToBind) {
    for (const auto& [code, state, reason] :
         {std::tuple{"1", State::cancelled, "The desktop’s question about the keys was cancelled."},
          std::tuple{"2", State::failed, "Your desktop couldn’t set the keys."}}) {
        startPortal({"--answer", QStringLiteral("BindShortcuts=") + code});
        startService();
        ASSERT_TRUE(waitForState(state)) << code;
        const auto note = DesktopKeyTexts::note(keys(), false).value_or("");
        EXPECT_TRUE(note.starts_with(reason)) << note;
        EXPECT_NE(note.find("tarvo-capture-desktop --capture-selection\n"
                            "tarvo-capture-desktop --quick-entry"),
                  std::string::npos);
        EXPECT_EQ(DesktopKeyTexts::keyLine(keys(), 1), std::nullopt);
        stopService();
        stopPortal();
    }
}

TEST_F(PortalHotkeyServiceTest, APortalThatNeverAnswersLeavesTheAppWorking) {
    startPortal({"--answer", "CreateSession=never"});
    startService(300ms);
    ASSERT_TRUE(waitForState(State::noAnswer));
    EXPECT_TRUE(DesktopKeyTexts::note(keys(), false)
                    .value_or("")
                    .starts_with("Your desktop’s shortcut service didn’t answer."));
}

TEST_F(PortalHotkeyServiceTest, AReturningPortalIsAskedAgainAndItsPressesWork) {
    startPortal();
    startService();
    ASSERT_TRUE(waitForState(State::bound));
    stopPortal();
    ASSERT_TRUE(waitForState(State::gone));
    EXPECT_TRUE(DesktopKeyTexts::note(keys(), false).has_value());

    startPortal();
    ASSERT_TRUE(waitForState(State::bound));
    EXPECT_EQ(methods(),
              (QStringList{"Register", "CreateSession", "ListShortcuts", "BindShortcuts"}));
    press(QStringLiteral("quick-entry"));
    ASSERT_TRUE(test::runEventsUntil([&] { return quickEntryPresses_ == 1; }, patience));
}

TEST_F(PortalHotkeyServiceTest, WithoutShortcutsInThePortalTheDesktopSetsNoKeys) {
    // A portal without the interface, then no portal on the bus at all.
    for (const bool portalRuns : {true, false}) {
        if (portalRuns) {
            startPortal({"--version", "0", "--no-registry"});
        }
        startService();
        ASSERT_TRUE(waitForState(State::unavailable)) << portalRuns;
        EXPECT_TRUE(DesktopKeyTexts::note(keys(), false)
                        .value_or("")
                        .starts_with("This desktop doesn’t let apps set global keys."));
        stopService();
        stopPortal();
    }
}

TEST_F(PortalHotkeyServiceTest, VersionTwoOpensTheDesktopsOwnDialog) {
    startPortal({"--version", "2"});
    startService();
    ASSERT_TRUE(waitForState(State::bound));
    EXPECT_TRUE(keys().canConfigure);
    EXPECT_EQ(keys().version, 2U);
    service_->configureDesktopKeys();
    ASSERT_TRUE(
        test::runEventsUntil([&] { return methods().contains("ConfigureShortcuts"); }, patience));
}

TEST(PortalTriggerTest, NamesTheKeyInTheDesktopsShortcutFormat) {
    EXPECT_EQ(PortalHotkeyService::preferredTrigger({.control = true, .alt = true}, 'C'),
              "CTRL+ALT+c");
    EXPECT_EQ(PortalHotkeyService::preferredTrigger({.alt = true, .super = true}, 'T'),
              "ALT+LOGO+t");
}

} // namespace
} // namespace tarvo::desktop
