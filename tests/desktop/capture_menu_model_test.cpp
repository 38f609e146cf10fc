// The menu model with fake desktop services and the dev backend over real HTTP. The library reads
// its configuration once per process, so the whole program shares one sandbox folder (XDG folders
// and a plain-file secret store), emptied before each test.

#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/fake/fake_desktop_services.hpp>

#include "desktop/menu_model_sandbox.hpp"
#include "desktop/qt_event_loop.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/device_token_minter.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/delivery/capture_outbox.hpp>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::desktop::AppSettings;
using tarvo::desktop::CaptureMenuModel;
using tarvo::desktop::HotkeyCombo;
using tarvo::desktop::TaskHandle;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;

namespace {

const bool sandboxed = tarvo::test::useMenuModelSandbox();
auto* const environment = DevBackendEnvironment::install();

constexpr std::string_view password = "correct horse";

struct MenuModelTest : testing::Test {
    MenuModelTest() {
        tarvo::test::qtApplication();
        tarvo::test::resetMenuModelSandbox();
    }

    std::unique_ptr<CaptureMenuModel> makeModel(CaptureMenuModel::Timing timing = {}) {
        auto model = std::make_unique<CaptureMenuModel>(fakes.services(), AppSettings(), timing);
        consentRequests =
            std::make_unique<QSignalSpy>(model.get(), &CaptureMenuModel::consentNeeded);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->isLoaded(); }, 10000));
        return model;
    }

    void signIn(CaptureMenuModel& model, const std::string& withPassword = std::string(password)) {
        model.signIn(QString::fromStdString(" \t" + email + " "),
                     QString::fromStdString(withPassword));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.accountBusy(); }, 20000));
    }

    // Waits until every task the model started has come back.
    static void settle(CaptureMenuModel& model) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.tasks().runningCount() == 0; }, 20000));
    }

    static void queueCaptures(int count) {
        for (int index = 0; index < count; ++index) {
            const auto title = "waiting " + std::to_string(index);
            ASSERT_TRUE(CaptureOutbox::enqueue(CaptureIngestRequest{{.content = title}},
                                               "key-" + title, Destination::stash, title));
        }
    }

    void failNext(const std::string& path, Json fault) {
        fault["path"] = path;
        backend.addFault(fault);
    }

    tarvo::desktop::fake::FakeDesktopServices fakes;
    BackendClient backend{DevBackendEnvironment::backend()};
    std::string email = BackendClient::uniqueEmail();
    std::string userID = backend.addUser(email, std::string(password)).value("id", "");
    std::unique_ptr<QSignalSpy> consentRequests;
};

TEST_F(MenuModelTest, AFirstLaunchStartsWithEverythingOffAndBothHotKeysOn) {
    fakes.loginItem.enabled = true;
    const auto model = makeModel();
    EXPECT_FALSE(model->isEnabled());
    EXPECT_EQ(model->status(), "Off");
    EXPECT_FALSE(model->confirmBeforeSending());
    EXPECT_TRUE(model->hotkeyEnabled());
    EXPECT_TRUE(model->quickEntryEnabled());
    EXPECT_EQ(model->hotkeyCombo(), HotkeyCombo::controlOption);
    EXPECT_FALSE(model->hasToken());
    EXPECT_TRUE(model->signedInEmail().isEmpty());
    EXPECT_TRUE(model->launchAtLogin());
    EXPECT_EQ(model->outboxCount(), 0);
    EXPECT_EQ(model->credentialsNote(),
              "Credentials are stored in a plain file (TARVO_SECRET_STORE=file).");
    EXPECT_EQ(consentRequests->count(), 0) << "no token, so no consent question yet";
}

TEST_F(MenuModelTest, SigningInSetsThisComputerUpAndAsksForConsent) {
    const auto model = makeModel();
    signIn(*model);
    EXPECT_EQ(model->signedInEmail().toStdString(), email);
    EXPECT_TRUE(model->accountError().isEmpty()) << model->accountError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->hasToken(); }, 10000));
    EXPECT_GE(consentRequests->count(), 1);

    const Json devices = backend.send("GET", "/__dev/users/" + userID + "/devices").json();
    ASSERT_EQ(devices.size(), 1u) << devices.dump();
    EXPECT_EQ(devices[0].value("name", ""), DeviceTokenMinter::deviceName());
    EXPECT_EQ(devices[0].value("source", ""), "linux");

    // Choosing "Not now" is a decision: the flags follow it and no further question comes.
    model->recordConsent(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->aiDecided(); }, 5000));
    EXPECT_FALSE(model->aiGranted());
    const int asked = consentRequests->count();
    const auto restarted = makeModel();
    QTest::qWait(100);
    EXPECT_EQ(consentRequests->count(), 0);
    EXPECT_EQ(asked, 1);
}

TEST_F(MenuModelTest, AWrongPasswordShowsTheServersTextAndLeavesTheMenuUsable) {
    const auto model = makeModel();
    signIn(*model, "wrong password");
    EXPECT_EQ(model->accountError(), "Invalid login credentials");
    EXPECT_TRUE(model->signedInEmail().isEmpty());
    EXPECT_FALSE(model->hasToken());

    signIn(*model);
    EXPECT_EQ(model->signedInEmail().toStdString(), email);
    EXPECT_TRUE(model->accountError().isEmpty());
}

TEST_F(MenuModelTest, AFailedSetUpLeavesThePersonSignedInWithoutAToken) {
    const auto model = makeModel();
    failNext("/rest/v1/ingest_devices", {{"status", 500}, {"body", "database on fire"}});
    signIn(*model);
    EXPECT_EQ(model->signedInEmail().toStdString(), email);
    EXPECT_TRUE(model->accountError().startsWith(
        "Signed in, but couldn’t set this computer up for capture: "))
        << model->accountError().toStdString();
    QTest::qWait(200);
    EXPECT_FALSE(model->hasToken());
    EXPECT_EQ(consentRequests->count(), 1) << "asked after a sign-in even without a device";
}

TEST_F(MenuModelTest, SigningOutSwitchesCaptureOffForgetsConsentAndWorksOffline) {
    const auto model = makeModel();
    signIn(*model);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->hasToken(); }, 10000));
    model->recordConsent(true);
    model->settings().persistAutoCapture(true);

    failNext("/auth/v1/logout", {{"drop", true}});
    model->signOut();
    EXPECT_TRUE(model->accountBusy());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->accountBusy(); }, 20000));
    EXPECT_EQ(model->status(), "Signed out");
    EXPECT_FALSE(model->isEnabled());
    EXPECT_FALSE(model->hasToken());
    EXPECT_TRUE(model->signedInEmail().isEmpty());
    EXPECT_FALSE(model->aiDecided());
    EXPECT_FALSE(model->settings().autoCaptureEnabled());
    EXPECT_EQ(model->settings().autoCaptureEnabledAt(), std::nullopt);
    EXPECT_FALSE(SupabaseAuth::shared().isSignedIn());
}

TEST_F(MenuModelTest, AFlushSaysHowManyWaitingCapturesWereSent) {
    const auto model = makeModel();
    signIn(*model);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->hasToken(); }, 10000));
    settle(*model);

    queueCaptures(1);
    model->drainOutbox(true);
    settle(*model);
    EXPECT_EQ(model->lastEvent(), "Sent 1 capture that were waiting");

    queueCaptures(3);
    model->drainOutbox(true);
    settle(*model);
    EXPECT_EQ(model->lastEvent(), "Sent 3 captures that were waiting");
    EXPECT_EQ(model->sentCount(), 4);
    EXPECT_EQ(model->outboxCount(), 0);

    queueCaptures(2);
    failNext("/functions/v1/capture-ingest", {{"status", 503}, {"count", 9}});
    model->drainOutbox(true);
    settle(*model);
    EXPECT_EQ(model->outboxCount(), 2);
    EXPECT_TRUE(model->lastEvent().startsWith("2 waiting — ")) << model->lastEvent().toStdString();
}

TEST_F(MenuModelTest, TheTimerFlushesWithoutBeingAsked) {
    {
        // Gone before anything is queued: its own flush after sign-in must not take the capture.
        const auto signedIn = makeModel();
        signIn(*signedIn);
        ASSERT_TRUE(QTest::qWaitFor([&] { return signedIn->hasToken(); }, 10000));
    }
    queueCaptures(1);

    const auto model = makeModel({.outboxInterval = 300ms, .quitWaitLimit = 8s});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 1; }, 10000));
    EXPECT_EQ(model->lastEvent(), "Sent 1 capture that were waiting");
    queueCaptures(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 2; }, 10000));
}

// A send that takes a while, made the way the delayed selection send is made.
TaskHandle slowSend(CaptureMenuModel& model, const std::string& content) {
    return model.tasks().run(
        [content](std::stop_token stop) {
            const CaptureClient client(Auth::defaultProvider());
            return client.send(CaptureIngestRequest{{.content = content}}, std::nullopt, stop)
                .has_value();
        },
        [](bool) {});
}

TEST_F(MenuModelTest, QuittingWaitsForThePendingSendWhileTheMainThreadRuns) {
    const auto model = makeModel();
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);

    // A send that finishes on its own a little later; its result comes back on this thread.
    bool finished = false;
    model->setPendingSend(model->tasks().run(
        [](std::stop_token) {
            std::this_thread::sleep_for(400ms);
            return true;
        },
        [&](bool) { finished = true; }));
    model->finishPendingOnQuit();
    EXPECT_EQ(ready.count(), 0);
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_TRUE(finished) << "ready to quit only once the send has come back";
    QTest::qWait(50);
    EXPECT_EQ(ready.count(), 1);
}

TEST_F(MenuModelTest, QuittingStopsWaitingAtTheLimit) {
    const auto model = makeModel({.outboxInterval = 300s, .quitWaitLimit = 300ms});
    signIn(*model);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->hasToken(); }, 10000));
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);

    failNext("/functions/v1/capture-ingest", {{"delay_ms", 5000}});
    model->setPendingSend(slowSend(*model, "too slow"));
    const auto started = std::chrono::steady_clock::now();
    model->finishPendingOnQuit();
    ASSERT_TRUE(ready.wait(4000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
}

TEST_F(MenuModelTest, ARefusedLoginItemChangeShowsWhyAndTheRealState) {
    const auto model = makeModel();
    model->setLaunchAtLogin(true);
    EXPECT_TRUE(model->launchAtLogin());
    EXPECT_TRUE(model->launchAtLoginStatus().isEmpty());

    fakes.loginItem.refusal = "Permission denied";
    model->setLaunchAtLogin(false);
    EXPECT_TRUE(model->launchAtLogin());
    EXPECT_EQ(model->launchAtLoginStatus(), "Couldn’t change login items: Permission denied");
}

// The hot keys, the selected-text capture with its undo window, and quick entry.

struct RecordingToast final : tarvo::desktop::SelectionToastPanel {
    void show(const QString& text, const std::optional<QString>& app,
              std::function<void()> undo) override {
        shown.push_back(text.toStdString());
        sourceApp = app;
        onUndo = std::move(undo);
    }
    void dismiss() override { ++dismissed; }
    std::vector<std::string> shown;
    std::optional<QString> sourceApp;
    std::function<void()> onUndo;
    int dismissed = 0;
};

struct RecordingQuickEntry final : tarvo::desktop::QuickEntryPanel {
    void show() override { showing = true; }
    void close() override { showing = false; }
    bool isShowing() const override { return showing; }
    bool showing = false;
};

struct SelectionModelTest : MenuModelTest {
    std::unique_ptr<CaptureMenuModel> makeSignedIn(std::chrono::milliseconds undoWindow) {
        auto model =
            makeModel({.outboxInterval = 300s, .quitWaitLimit = 8s, .undoWindow = undoWindow});
        model->attachPanels(toast, quickEntry);
        signIn(*model);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->hasToken(); }, 10000));
        fakes.frontmostApp.window = tarvo::desktop::ActiveWindow{.id = 7,
                                                                 .name = "Mousepad",
                                                                 .identifier = "mousepad",
                                                                 .pid = 9,
                                                                 .title = "plans.txt - Mousepad"};
        return model;
    }
    // Presses the selection key with this text selected and waits for the toast.
    void capture(CaptureMenuModel& model, const std::string& selected) {
        fakes.selectedText.accessible = selected;
        const auto toasts = toast.shown.size();
        ASSERT_TRUE(fakes.hotkeys.press(1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return toast.shown.size() > toasts; }, 5000));
        EXPECT_FALSE(model.isCapturing());
    }

    RecordingToast toast;
    RecordingQuickEntry quickEntry;
};

TEST_F(SelectionModelTest, SignedOutTheKeySaysSoAndTakenKeysSayWhichOne) {
    fakes.hotkeys.takenByOthers = {{HotkeyCombo::controlOption, 'T'}};
    const auto model = makeModel();
    model->attachPanels(toast, quickEntry);
    EXPECT_TRUE(model->hotkeyStatus().isEmpty());
    EXPECT_EQ(model->quickEntryStatus(), "Couldn’t register Ctrl+Alt+T — another app may have it.");
    ASSERT_TRUE(fakes.hotkeys.press(1));
    EXPECT_EQ(model->hotkeyStatus(), "Sign in first (menu bar icon).");
    EXPECT_TRUE(toast.shown.empty());

    model->setHotkeyCombo(HotkeyCombo::controlCommand);
    EXPECT_TRUE(model->quickEntryStatus().isEmpty());
    EXPECT_EQ(fakes.hotkeys.registered,
              (std::map<std::uint32_t, HotkeyCombo>{{1, HotkeyCombo::controlCommand},
                                                    {2, HotkeyCombo::controlCommand}}));
    ASSERT_TRUE(fakes.hotkeys.press(2));
    EXPECT_TRUE(quickEntry.showing);
    model->setQuickEntryEnabled(false);
    EXPECT_FALSE(quickEntry.showing);
    model->setSelectionHotkeyEnabled(false);
    EXPECT_TRUE(fakes.hotkeys.registered.empty());
    EXPECT_FALSE(AppSettings().selectionHotkeyEnabled());
    EXPECT_EQ(AppSettings().hotkeyCombo(), HotkeyCombo::controlCommand);
}

TEST_F(SelectionModelTest, ANewerCaptureReplacesTheWaitingOneWhichIsNeverSent) {
    const auto model = makeSignedIn(1500ms);
    capture(*model, "  first thought  ");
    capture(*model, "second thought");
    EXPECT_EQ(toast.shown, (std::vector<std::string>{"first thought", "second thought"}));
    EXPECT_EQ(toast.sourceApp, "Mousepad");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 1; }, 10000));
    EXPECT_EQ(model->lastEvent(), "Sent selection from Mousepad (accessibility)");
    settle(*model);
    const Json entries = backend.entries(userID);
    ASSERT_EQ(entries.size(), 1u);
    const Json body = entries[0].value("body", Json::object());
    EXPECT_EQ(body.value("content", ""), "second thought");
    EXPECT_EQ(body.value("title", ""), "plans.txt");
    EXPECT_EQ(body.value("source_type", ""), "text_capture");
    EXPECT_EQ(body.value("source_app", ""), "Mousepad");
    EXPECT_EQ(body.value("tags", Json::array()), Json::array({"desktop"}));
}

TEST_F(SelectionModelTest, TenPressesInASecondSendOnlyTheLastSelection) {
    const auto model = makeSignedIn(1000ms);
    for (int press = 0; press < 10; ++press) {
        fakes.selectedText.accessible = "press " + std::to_string(press);
        ASSERT_TRUE(fakes.hotkeys.press(1));
        QTest::qWait(60);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 1; }, 10000));
    QTest::qWait(1200);
    settle(*model);
    const Json entries = backend.entries(userID);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].value("body", Json::object()).value("content", ""), "press 9");
    EXPECT_EQ(model->sentCount(), 1);
}

TEST_F(SelectionModelTest, UndoSendsNothingAndAFailedReadSaysWhy) {
    const auto model = makeSignedIn(600ms);
    capture(*model, "never mind");
    toast.onUndo();
    EXPECT_EQ(model->lastEvent(), "Undone — nothing sent");
    QTest::qWait(1000);
    settle(*model);
    EXPECT_TRUE(backend.entries(userID).empty());

    fakes.selectedText.accessible = "   ";
    fakes.clipboard.answer = " ";
    ASSERT_TRUE(fakes.hotkeys.press(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->hotkeyStatus().isEmpty(); }, 5000));
    EXPECT_EQ(model->hotkeyStatus(), "No text selected in Mousepad.");
}

TEST_F(SelectionModelTest, QuittingInsideTheUndoWindowKeepsTheSelectionForTheNextStart) {
    const auto model = makeSignedIn(6s);
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);
    capture(*model, "kept for later");
    const auto started = std::chrono::steady_clock::now();
    model->finishPendingOnQuit();
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(toast.dismissed, 1);
    EXPECT_EQ(CaptureOutbox::pendingCount(), 1u);
    EXPECT_TRUE(backend.entries(userID).empty());

    model->drainOutbox(true);
    settle(*model);
    ASSERT_EQ(backend.entries(userID).size(), 1u);
    EXPECT_EQ(backend.entries(userID)[0].value("body", Json::object()).value("content", ""),
              "kept for later");
}

TEST_F(SelectionModelTest, QuickEntrySaysWhatBecameOfEachText) {
    const auto model = makeSignedIn(6s);
    std::vector<tarvo::desktop::QuickEntryOutcome> outcomes;
    model->sendQuickEntry("water the plants", [&](auto outcome) { outcomes.push_back(outcome); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 1; }, 10000));
    EXPECT_EQ(outcomes[0], tarvo::desktop::QuickEntryOutcome::sent());
    EXPECT_EQ(model->lastEvent(), "Sent to docket: water the plants");

    for (int attempt = 0; attempt < 3; ++attempt) {
        failNext("/functions/v1/capture-ingest", {{"status", 503}});
    }
    model->sendQuickEntry("offline thought", [&](auto outcome) { outcomes.push_back(outcome); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 20000));
    EXPECT_EQ(outcomes[1], tarvo::desktop::QuickEntryOutcome::queued("server 503"));
    EXPECT_EQ(model->lastEvent(), "Saved to send later — server 503");
    EXPECT_EQ(model->outboxCount(), 1);
}

} // namespace
