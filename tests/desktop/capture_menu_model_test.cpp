// The menu model and its controllers with fake desktop services and recording panels, a real
// screenshot folder, and the dev backend over real HTTP. The library reads its configuration once
// per process, so the whole program shares one sandbox folder (XDG folders and a plain-file secret
// store), emptied before each test.

#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/fake/fake_desktop_services.hpp>

#include "desktop/image_files.hpp"
#include "desktop/menu_model_sandbox.hpp"
#include "desktop/qt_event_loop.hpp"
#include "desktop/recording_panels.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"

#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_outbox.hpp>

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace tarvo::desktop {
namespace {

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;

const bool sandboxed = tarvo::test::useMenuModelSandbox();
auto* const environment = DevBackendEnvironment::install();

constexpr std::string_view password = "correct horse";

struct MenuModelTest : testing::Test {
    MenuModelTest() {
        tarvo::test::qtApplication();
        tarvo::test::resetMenuModelSandbox();
    }
    void TearDown() override { backend.send("DELETE", "/__dev/faults"); }

    std::unique_ptr<CaptureMenuModel> makeModel(CaptureMenuModel::Timing timing = {}) {
        auto model = std::make_unique<CaptureMenuModel>(fakes.services(), recorders.panels(),
                                                        AppSettings(), timing);
        consentRequests =
            std::make_unique<QSignalSpy>(&model->account(), &AccountController::consentNeeded);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->isLoaded(); }, 10000));
        return model;
    }

    void signIn(CaptureMenuModel& model, const std::string& withPassword = std::string(password)) {
        model.account().signIn(QString::fromStdString(" \t" + email + " "),
                               QString::fromStdString(withPassword));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.account().accountBusy(); }, 20000));
    }
    // Also waits out the outbox flush that a new token starts, so that it cannot take a capture
    // the test queues afterwards.
    void signInForAToken(CaptureMenuModel& model) {
        signIn(model);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.account().hasToken(); }, 10000));
        settle(model);
    }

    // Waits until every task the model and its controllers started has come back.
    static void settle(CaptureMenuModel& model) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.runningTaskCount() == 0; }, 20000));
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

    fake::FakeDesktopServices fakes;
    tarvo::test::RecordingPanels recorders;
    BackendClient backend{DevBackendEnvironment::backend()};
    std::string email = BackendClient::uniqueEmail();
    std::string userID = backend.addUser(email, std::string(password)).value("id", "");
    std::unique_ptr<QSignalSpy> consentRequests;
};

TEST_F(MenuModelTest, SigningInSetsThisComputerUpAndADeclinedConsentIsNotAskedAgain) {
    const auto model = makeModel();
    auto& account = model->account();
    EXPECT_EQ(account.credentialsNote(),
              "Credentials are stored in a plain file (TARVO_SECRET_STORE=file).");
    EXPECT_EQ(consentRequests->count(), 0) << "no token, so no consent question yet";
    signInForAToken(*model);
    EXPECT_EQ(account.signedInEmail().toStdString(), email);
    EXPECT_TRUE(account.accountError().isEmpty()) << account.accountError().toStdString();

    // Choosing "Not now" is a decision: the flags follow it and no further question comes.
    account.recordConsent(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return account.aiDecided(); }, 5000));
    EXPECT_FALSE(account.aiGranted());
    EXPECT_EQ(consentRequests->count(), 1);
    const auto restarted = makeModel();
    QTest::qWait(100);
    EXPECT_EQ(consentRequests->count(), 0);
}

TEST_F(MenuModelTest, AWrongPasswordAndAFailedSetUpAreSaidAndTheMenuStaysUsable) {
    const auto model = makeModel();
    auto& account = model->account();
    signIn(*model, "wrong password");
    EXPECT_EQ(account.accountError(), "Invalid login credentials");
    EXPECT_TRUE(account.signedInEmail().isEmpty());
    EXPECT_FALSE(account.hasToken());

    failNext("/rest/v1/ingest_devices", {{"status", 500}, {"body", "database on fire"}});
    signIn(*model);
    EXPECT_EQ(account.signedInEmail().toStdString(), email);
    EXPECT_TRUE(account.accountError().startsWith(
        "Signed in, but couldn’t set this computer up for capture: "))
        << account.accountError().toStdString();
    QTest::qWait(200);
    EXPECT_FALSE(account.hasToken());
    EXPECT_EQ(consentRequests->count(), 1) << "asked after a sign-in even without a device";
}

TEST_F(MenuModelTest, SigningOutSwitchesCaptureOffForgetsConsentAndWorksOffline) {
    const auto model = makeModel();
    auto& account = model->account();
    signInForAToken(*model);
    account.recordConsent(true);
    model->screenshots().setAutoCapture(true);
    ASSERT_TRUE(model->screenshots().isWatching());

    failNext("/auth/v1/logout", {{"drop", true}});
    account.signOut();
    EXPECT_TRUE(account.accountBusy());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !account.accountBusy(); }, 20000));
    EXPECT_EQ(model->feed().status(), "Signed out");
    EXPECT_FALSE(model->screenshots().isEnabled());
    EXPECT_FALSE(model->screenshots().isWatching());
    EXPECT_FALSE(account.hasToken());
    EXPECT_TRUE(account.signedInEmail().isEmpty());
    EXPECT_FALSE(account.aiDecided());
    EXPECT_FALSE(model->settings().autoCaptureEnabled());
    EXPECT_EQ(model->settings().autoCaptureEnabledAt(), std::nullopt);
    EXPECT_FALSE(SupabaseAuth::shared().isSignedIn());
}

TEST_F(MenuModelTest, AFlushSaysHowManyWaitingCapturesWereSentOrWhyTheyStillWait) {
    const auto model = makeModel();
    const auto& feed = model->feed();
    signInForAToken(*model);

    queueCaptures(3);
    model->drainOutbox(true);
    settle(*model);
    EXPECT_EQ(feed.lastEvent(), "Sent 3 captures that were waiting");
    EXPECT_EQ(feed.sentCount(), 3);
    EXPECT_EQ(feed.outboxCount(), 0);

    queueCaptures(2);
    failNext("/functions/v1/capture-ingest", {{"status", 503}, {"count", 9}});
    model->drainOutbox(true);
    settle(*model);
    EXPECT_EQ(feed.outboxCount(), 2);
    EXPECT_TRUE(feed.lastEvent().startsWith("2 waiting — ")) << feed.lastEvent().toStdString();
}

TEST_F(MenuModelTest, TheTimerFlushesWithoutBeingAsked) {
    {
        // Gone before anything is queued: its own flush after sign-in must not take the capture.
        const auto signedIn = makeModel();
        signInForAToken(*signedIn);
    }
    queueCaptures(1);

    const auto model = makeModel({.outboxInterval = 300ms, .quitWaitLimit = 8s});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->feed().sentCount() == 1; }, 10000));
    EXPECT_EQ(model->feed().lastEvent(), "Sent 1 capture that were waiting");
    queueCaptures(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->feed().sentCount() == 2; }, 10000));
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

// The hot keys, the selected-text capture with its undo window, quick entry, and quitting.

struct SelectionModelTest : MenuModelTest {
    std::unique_ptr<CaptureMenuModel> makeSignedIn(CaptureMenuModel::Timing timing) {
        auto model = makeModel(timing);
        signInForAToken(*model);
        fakes.frontmostApp.window = ActiveWindow{.id = 7,
                                                 .name = "Mousepad",
                                                 .identifier = "mousepad",
                                                 .pid = 9,
                                                 .title = "plans.txt - Mousepad"};
        return model;
    }
    std::unique_ptr<CaptureMenuModel> makeSignedIn(std::chrono::milliseconds undoWindow) {
        return makeSignedIn(
            {.outboxInterval = 300s, .quitWaitLimit = 8s, .undoWindow = undoWindow});
    }

    // Presses the selection key with `text` selected and waits for the toast to show it.
    void capture(const std::string& text) {
        const auto shown = toast.shown.size();
        fakes.selectedText.accessible = text;
        ASSERT_TRUE(fakes.hotkeys.press(SelectionController::selectionKeyID));
        ASSERT_TRUE(QTest::qWaitFor([&] { return toast.shown.size() == shown + 1; }, 5000));
        EXPECT_EQ(toast.shown.back(), text);
    }

    std::vector<std::string> filedContents() {
        std::vector<std::string> contents;
        for (const auto& entry : backend.entries(userID)) {
            contents.push_back(entry.value("body", Json::object()).value("content", ""));
        }
        return contents;
    }

    tarvo::test::RecordingToast& toast = recorders.toast;
    tarvo::test::RecordingQuickEntry& quickEntry = recorders.quickEntry;
};

TEST_F(SelectionModelTest, ASessionWithoutGlobalKeysIsToldOnceAndNotBlamedOnOtherApps) {
    fakes.hotkeys.unsupported = true;
    const auto model = makeSignedIn(2s);
    auto& selection = model->selection();
    EXPECT_FALSE(selection.globalKeysSupported());
    EXPECT_TRUE(selection.hotkeyStatus().isEmpty());
    EXPECT_TRUE(selection.quickEntryStatus().isEmpty());
    EXPECT_TRUE(fakes.hotkeys.registered.empty());
    // The commands still work, as a key bound in the desktop's settings runs them.
    fakes.selectedText.accessible = "chosen words";
    selection.captureSelection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !toast.shown.empty(); }, 5000));
    EXPECT_EQ(toast.shown.back(), "chosen words");
}

TEST_F(SelectionModelTest, SignedOutTheKeySaysSoAndTakenKeysSayWhichOne) {
    const HotkeyModifiers controlAlt{.control = true, .alt = true};
    const HotkeyModifiers controlSuper{.control = true, .super = true};
    fakes.hotkeys.takenByOthers = {{controlAlt, 'T'}};
    const auto model = makeModel();
    auto& selection = model->selection();
    EXPECT_TRUE(selection.hotkeyStatus().isEmpty());
    EXPECT_EQ(selection.quickEntryStatus(),
              "Couldn’t register Ctrl+Alt+T — another app may have it.");
    ASSERT_TRUE(fakes.hotkeys.press(SelectionController::selectionKeyID));
    EXPECT_EQ(selection.hotkeyStatus(), "Sign in first (menu bar icon).");
    EXPECT_EQ(fakes.notifier.shown,
              std::vector<std::string>{"tarvo Capture: Sign in first (menu bar icon)."})
        << "the key was pressed outside the menu, so the desktop says it";
    EXPECT_TRUE(toast.shown.empty());

    selection.setHotkeyCombo(HotkeyCombo::controlCommand);
    EXPECT_TRUE(selection.quickEntryStatus().isEmpty());
    EXPECT_EQ(fakes.hotkeys.registered,
              (std::map<std::uint32_t, HotkeyModifiers>{{1, controlSuper}, {2, controlSuper}}));
    ASSERT_TRUE(fakes.hotkeys.press(SelectionController::quickEntryKeyID));
    EXPECT_TRUE(quickEntry.showing);
    selection.setQuickEntryEnabled(false);
    EXPECT_FALSE(quickEntry.showing);
    selection.setSelectionHotkeyEnabled(false);
    EXPECT_TRUE(fakes.hotkeys.registered.empty());
    EXPECT_FALSE(AppSettings().selectionHotkeyEnabled());
    EXPECT_EQ(AppSettings().hotkeyCombo(), HotkeyCombo::controlCommand);
}

TEST_F(SelectionModelTest, TenQuickPressesSendOnlyTheLastSelectionAndUndoSendsNothing) {
    // Each capture must have read its text before the next press changes it; each press comes
    // well inside the undo window of the one before.
    const auto model = makeSignedIn(2s);
    const auto& feed = model->feed();
    for (int press = 0; press < 10; ++press) {
        capture("press " + std::to_string(press));
        QTest::qWait(40);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return feed.sentCount() == 1; }, 10000));
    EXPECT_EQ(feed.lastEvent(), "Sent selection from Mousepad (accessibility)");
    EXPECT_EQ(toast.sourceApp, "Mousepad");
    settle(*model);
    EXPECT_EQ(filedContents(), std::vector<std::string>{"press 9"});

    // Undo from the toast, or from the keyboard while the window lasts: the hot key's modifiers
    // with Z, held only then.
    capture("taken back");
    toast.onUndo();
    EXPECT_EQ(feed.lastEvent(), "Undone — nothing sent");
    capture("taken back by key");
    EXPECT_EQ(toast.undoKey, "Ctrl+Alt+Z");
    EXPECT_EQ(fakes.hotkeys.registered.at(SelectionController::undoKeyID),
              (HotkeyModifiers{.control = true, .alt = true}));
    const int dismissed = toast.dismissed;
    ASSERT_TRUE(fakes.hotkeys.press(SelectionController::undoKeyID));
    EXPECT_EQ(toast.dismissed, dismissed + 1);
    EXPECT_FALSE(fakes.hotkeys.registered.contains(SelectionController::undoKeyID));
    QTest::qWait(2500);
    settle(*model);
    EXPECT_EQ(feed.sentCount(), 1);
    EXPECT_EQ(filedContents(), std::vector<std::string>{"press 9"});
    EXPECT_TRUE(fakes.notifier.shown.empty()) << "nothing went wrong";
}

TEST_F(SelectionModelTest, QuittingSendsASelectionInsideItsUndoWindowAtOnce) {
    const auto model = makeSignedIn(6s);
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);
    capture("sent on the way out");
    const auto started = std::chrono::steady_clock::now();
    model->finishPendingOnQuit();
    ASSERT_TRUE(ready.wait(8000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "it did not wait out the undo";
    EXPECT_EQ(toast.dismissed, 1);
    EXPECT_EQ(filedContents(), std::vector<std::string>{"sent on the way out"});
    EXPECT_EQ(CaptureOutbox::pendingCount(), 0u);
}

TEST_F(SelectionModelTest, QuittingWhileTheSendRunsWaitsForItAndFilesItOnce) {
    const auto model = makeSignedIn(200ms);
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);
    failNext("/functions/v1/capture-ingest", {{"delay_ms", 1500}});
    capture("slow but sure");
    QTest::qWait(600); // the undo window is over; the request is at the backend
    model->finishPendingOnQuit();
    EXPECT_EQ(ready.count(), 0);
    ASSERT_TRUE(ready.wait(8000));
    EXPECT_EQ(model->feed().lastEvent(), "Sent selection from Mousepad (accessibility)");
    EXPECT_EQ(filedContents(), std::vector<std::string>{"slow but sure"});
    EXPECT_EQ(CaptureOutbox::pendingCount(), 0u);
}

TEST_F(SelectionModelTest, QuittingStopsWaitingAtTheLimitAndKeepsTheSelectionToSendLater) {
    auto model = makeSignedIn({.outboxInterval = 300s, .quitWaitLimit = 300ms, .undoWindow = 6s});
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);
    failNext("/functions/v1/capture-ingest", {{"delay_ms", 5000}, {"count", 3}});
    capture("too slow for now");
    const auto started = std::chrono::steady_clock::now();
    model->finishPendingOnQuit();
    ASSERT_TRUE(ready.wait(4000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    model.reset(); // the app ends: the send is stopped and the selection kept
    EXPECT_EQ(CaptureOutbox::pendingCount(), 1u);

    // The next start delivers it under its own key: filed once, even if the stopped request
    // reached the backend after all.
    backend.send("DELETE", "/__dev/faults");
    const auto next = makeModel();
    next->drainOutbox(true);
    settle(*next);
    EXPECT_EQ(CaptureOutbox::pendingCount(), 0u);
    EXPECT_EQ(filedContents(), std::vector<std::string>{"too slow for now"});
}

TEST_F(SelectionModelTest, QuickEntriesAreSentQueuedOrRefusedWithTheirOwnWords) {
    const auto model = makeSignedIn(6s);
    const auto& feed = model->feed();
    std::vector<QuickEntryOutcome> outcomes;
    const auto send = [&](const std::string& text) {
        const auto before = outcomes.size();
        quickEntry.send(text, [&](QuickEntryOutcome outcome) { outcomes.push_back(outcome); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == before + 1; }, 20000));
    };
    send("buy oat milk");
    EXPECT_EQ(outcomes.back(), QuickEntryOutcome::sent());
    EXPECT_EQ(feed.lastEvent(), "Sent to docket: buy oat milk");

    send("   ");
    EXPECT_EQ(outcomes.back(), QuickEntryOutcome::failed("nothing to send"));
    EXPECT_EQ(feed.lastEvent(), "Failed — nothing to send");

    failNext("/functions/v1/capture-ingest", {{"status", 503}, {"count", 3}});
    send("call the plumber");
    EXPECT_EQ(outcomes.back(), QuickEntryOutcome::queued("server 503"));
    EXPECT_EQ(feed.lastEvent(), "Saved to send later — server 503");
    EXPECT_EQ(feed.outboxCount(), 1);
    EXPECT_EQ(feed.sentCount(), 1);
}

// Screenshots: a real folder and watcher, a recording confirm panel, uploads to the dev backend.

struct ScreenshotModelTest : MenuModelTest {
    ScreenshotModelTest() {
        std::filesystem::remove_all(shots);
        std::filesystem::create_directory(shots);
        CaptureConfig::standardPreferences().set(AppSettings::folderOverrideKey, shots.string());
        fakes.frontmostApp.window = ActiveWindow{.id = 3,
                                                 .name = "Contacts",
                                                 .identifier = "contacts",
                                                 .pid = 5,
                                                 .title = "Ada Lovelace — Contacts"};
    }
    ~ScreenshotModelTest() override { CaptureOutbox::setDirectoryOverride(std::nullopt); }

    std::unique_ptr<CaptureMenuModel> makeWatcher(bool withToken = true) {
        if (withToken) {
            EXPECT_TRUE(TokenStore::save(account.deviceToken));
        }
        return makeModel();
    }
    void save(const std::string& name) {
        // File times come from the kernel's coarse clock, a few milliseconds behind the one that
        // stamped the switch-on: a file saved at once could count as older than the switch.
        std::this_thread::sleep_for(20ms);
        tarvo::test::saveImage(shots / name, tarvo::test::screenshotLikeImage(64, 48), "PNG");
    }
    static bool waitFor(const std::function<bool()>& done) {
        return tarvo::test::runEventsUntil(done, 15s);
    }
    Json entries() { return backend.entries(account.session.userID); }

    std::filesystem::path shots = tarvo::test::menuModelSandbox() / "Shots";
    tarvo::test::RecordingConfirmPanel& panel = recorders.confirm;
    tarvo::test::Account account = backend.newAccount();
};

TEST_F(ScreenshotModelTest, SwitchedOnItSendsNewScreenshotsButNotTheOnesAlreadyThere) {
    save("before.png");
    const auto model = makeWatcher();
    auto& screenshots = model->screenshots();
    const auto& feed = model->feed();
    EXPECT_EQ(feed.status(), "Screenshots off");
    screenshots.setAutoCapture(true);
    EXPECT_EQ(feed.status(), "Watching Shots");

    save("Screenshot 1.png");
    ASSERT_TRUE(waitFor([&] { return feed.sentCount() == 1; })) << feed.lastEvent().toStdString();
    settle(*model);
    EXPECT_EQ(entries().size(), 1u) << "before.png was there before capture was switched on";
    EXPECT_EQ(feed.sentCount(), 1);

    screenshots.setAutoCapture(false);
    EXPECT_FALSE(screenshots.isWatching());
    EXPECT_EQ(feed.status(), "Screenshots off");
    EXPECT_FALSE(AppSettings().autoCaptureEnabledAt());
}

TEST_F(ScreenshotModelTest, AskingFirstQueuesEachShotOnceAndRecordsWhatIsSkipped) {
    const auto model = makeWatcher();
    auto& screenshots = model->screenshots();
    const auto& feed = model->feed();
    screenshots.setConfirmBeforeSending(true);
    screenshots.setAutoCapture(true);
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        save(name);
    }
    ASSERT_TRUE(waitFor([&] { return screenshots.pendingQueue().size() == 3; }));
    EXPECT_EQ(feed.status(), "Waiting on you: 3 to review");
    ASSERT_TRUE(panel.showing);
    EXPECT_EQ(panel.shownRemaining, 2);
    EXPECT_EQ(panel.shownHint, "Ada Lovelace");
    screenshots.handleDetected(screenshots.pendingQueue()[1]);
    EXPECT_EQ(screenshots.pendingQueue().size(), 3u) << "the same shot is queued once";

    const std::string first = panel.showing->fingerprint;
    panel.actions.onSkip();
    EXPECT_TRUE(AppSettings().wasSent(first));
    EXPECT_EQ(feed.status(), "Waiting on you: 2 to review");
    EXPECT_TRUE(feed.lastEvent().startsWith("Skipped "));

    const std::string last = screenshots.pendingQueue().at(1).fingerprint;
    panel.actions.onSkipAll();
    EXPECT_EQ(feed.lastEvent(), "Skipped 2");
    EXPECT_TRUE(AppSettings().wasSent(last));
    EXPECT_FALSE(panel.showing);
    EXPECT_EQ(feed.status(), "Watching Shots");
    EXPECT_TRUE(entries().empty());
}

TEST_F(ScreenshotModelTest, SendAllSendsEveryWaitingShotOneAfterAnother) {
    const auto model = makeWatcher();
    auto& screenshots = model->screenshots();
    screenshots.setConfirmBeforeSending(true);
    screenshots.setAutoCapture(true);
    for (const char* name : {"one.png", "two.png", "three.png", "four.png"}) {
        save(name);
    }
    ASSERT_TRUE(waitFor([&] { return screenshots.pendingQueue().size() == 4; }));
    panel.actions.onSend(DesktopUploader::Route::rapportAvatar("Ada Lovelace"));
    panel.actions.onSendAll();
    EXPECT_TRUE(screenshots.pendingQueue().empty());
    EXPECT_FALSE(panel.showing);
    ASSERT_TRUE(waitFor([&] { return model->feed().sentCount() == 4; }));
    settle(*model);
    const Json filed = entries();
    ASSERT_EQ(filed.size(), 4u);
    int photos = 0;
    for (const auto& entry : filed) {
        photos += entry.value("body", Json::object()).value("rapport_avatar", false) ? 1 : 0;
    }
    EXPECT_EQ(photos, 1);
}

TEST_F(ScreenshotModelTest, FailuresAreWordedAndOnlyPassingOnesWaitInTheOutbox) {
    const auto model = makeWatcher();
    const auto& feed = model->feed();
    model->screenshots().setAutoCapture(true);
    failNext("/functions/v1/capture-ingest", {{"count", 3}, {"status", 503}});
    save("busy.png");
    ASSERT_TRUE(waitFor([&] { return feed.outboxCount() == 1; }))
        << feed.lastEvent().toStdString() << " / " << feed.status().toStdString();
    EXPECT_EQ(feed.lastEvent(), "Saved busy.png to send later — server 503");
    EXPECT_EQ(feed.status(), "Waiting to send");

    failNext("/functions/v1/capture-ingest", {{"status", 422}});
    save("refused.png");
    ASSERT_TRUE(waitFor([&] { return feed.lastEvent().startsWith("Failed refused"); }));
    EXPECT_EQ(feed.lastEvent(), "Failed refused.png — Ingest returned 422");
    EXPECT_EQ(feed.status(), "Last upload failed");
    EXPECT_EQ(feed.outboxCount(), 1);
    EXPECT_EQ(
        fakes.notifier.shown,
        (std::vector<std::string>{"tarvo Capture: Saved busy.png to send later — server 503",
                                  "tarvo Capture: Failed refused.png — Ingest returned 422"}));

    // Once the waiting one is delivered, the headline no longer says something waits.
    save("fine.png");
    ASSERT_TRUE(waitFor([&] { return feed.lastEvent() == "Sent fine.png"; }));
    failNext("/functions/v1/capture-ingest", {{"count", 3}, {"status", 503}});
    save("busy again.png");
    ASSERT_TRUE(waitFor([&] { return feed.status() == "Waiting to send"; }));
    backend.send("DELETE", "/__dev/faults");
    model->drainOutbox(true);
    ASSERT_TRUE(waitFor([&] { return feed.outboxCount() == 0; }));
    EXPECT_EQ(feed.status(), "Watching Shots");

    // An outbox that cannot keep it says so in one sentence, and the shot is not marked handled.
    CaptureOutbox::setDirectoryOverride(tarvo::test::menuModelSandbox() / "missing" / "outbox");
    failNext("/functions/v1/capture-ingest", {{"count", 3}, {"status", 503}});
    save("nowhere.png");
    ASSERT_TRUE(waitFor([&] { return feed.lastEvent().startsWith("Failed nowhere"); }));
    EXPECT_EQ(feed.lastEvent(), "Failed nowhere.png — server 503; couldn’t keep it to send later");
    for (const auto& handled : AppSettings().sentFingerprints()) {
        EXPECT_EQ(handled.find("nowhere.png"), std::string::npos) << handled;
    }
}

TEST_F(ScreenshotModelTest, AnUploadThatEndsAfterSignOutLeavesTheSignedOutStatus) {
    const auto model = makeWatcher();
    const auto& feed = model->feed();
    model->screenshots().setAutoCapture(true);
    failNext("/functions/v1/capture-ingest", {{"delay_ms", 1500}});
    save("late.png");
    ASSERT_TRUE(waitFor([&] { return feed.status() == "Sending late.png…"; }));
    model->account().signOut();
    ASSERT_TRUE(waitFor([&] { return feed.lastEvent() == "Sent late.png"; }))
        << feed.lastEvent().toStdString();
    settle(*model);
    EXPECT_EQ(feed.status(), "Signed out");
}

TEST_F(ScreenshotModelTest, AChosenFolderIsWatchedAtOnceAndTheDesktopsOneComesBack) {
    const auto model = makeWatcher();
    auto& screenshots = model->screenshots();
    screenshots.setAutoCapture(true);
    EXPECT_TRUE(screenshots.hasChosenFolder()) << "the test's folder is a chosen one";

    const auto elsewhere = tarvo::test::menuModelSandbox() / "Elsewhere";
    screenshots.chooseFolder(QString::fromStdString(elsewhere.string()));
    EXPECT_EQ(screenshots.watchedFolder(), elsewhere);
    EXPECT_TRUE(screenshots.watchedFolderText().endsWith(" (not there yet)"));
    EXPECT_EQ(model->feed().status(), "Watching Elsewhere (the folder isn’t there yet)");
    std::filesystem::create_directory(elsewhere);
    std::this_thread::sleep_for(20ms);
    tarvo::test::saveImage(elsewhere / "moved.png", tarvo::test::screenshotLikeImage(40, 30),
                           "PNG");
    ASSERT_TRUE(waitFor([&] { return model->feed().lastEvent() == "Sent moved.png"; }))
        << model->feed().lastEvent().toStdString();
    EXPECT_EQ(AppSettings().folderOverride(), elsewhere.string());

    screenshots.useDesktopFolder();
    EXPECT_FALSE(screenshots.hasChosenFolder());
    EXPECT_EQ(AppSettings().folderOverride(), std::nullopt);
    EXPECT_NE(screenshots.watchedFolder(), elsewhere);
}

TEST_F(ScreenshotModelTest, WithoutATokenNothingIsWatchedAndStoppingEmptiesTheQueue) {
    const auto signedOut = makeWatcher(false);
    signedOut->screenshots().setAutoCapture(true);
    EXPECT_EQ(signedOut->feed().status(), "Sign in to start");
    EXPECT_FALSE(signedOut->screenshots().isWatching());

    const auto model = makeWatcher();
    auto& screenshots = model->screenshots();
    screenshots.setConfirmBeforeSending(true);
    ASSERT_TRUE(waitFor([&] { return screenshots.isWatching(); })) << "capture was left on";
    save("waiting.png");
    ASSERT_TRUE(waitFor([&] { return !screenshots.pendingQueue().empty(); }));
    screenshots.setAutoCapture(false);
    EXPECT_TRUE(screenshots.pendingQueue().empty());
    EXPECT_FALSE(panel.showing);
    EXPECT_EQ(model->feed().status(), "Screenshots off");

    screenshots.openScreenshotFolder();
    ASSERT_EQ(fakes.folderOpener.folders.size(), 1u);
    EXPECT_EQ(fakes.folderOpener.folders[0], shots);
    std::filesystem::remove_all(shots);
    screenshots.openScreenshotFolder();
    EXPECT_EQ(model->feed().lastEvent(), "Couldn’t open Shots — the folder isn’t there yet");
    EXPECT_EQ(fakes.folderOpener.folders.size(), 1u);
}

} // namespace
} // namespace tarvo::desktop
