// The menu model with fake desktop services and panels, a real screenshot folder, and the dev
// backend over real HTTP. The library reads its configuration once per process, so the whole
// program shares one sandbox folder (XDG folders and a plain-file secret store), emptied before
// each test.

#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/fake/fake_desktop_services.hpp>

#include "desktop/image_files.hpp"
#include "desktop/menu_model_sandbox.hpp"
#include "desktop/qt_event_loop.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"

#include <capturekit/account/auth_providers.hpp>
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
    // Also waits out the outbox flush that a new token starts, so that it cannot take a capture
    // the test queues afterwards.
    void signInForAToken(CaptureMenuModel& model) {
        signIn(model);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.hasToken(); }, 10000));
        settle(model);
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

    fake::FakeDesktopServices fakes;
    BackendClient backend{DevBackendEnvironment::backend()};
    std::string email = BackendClient::uniqueEmail();
    std::string userID = backend.addUser(email, std::string(password)).value("id", "");
    std::unique_ptr<QSignalSpy> consentRequests;
};

TEST_F(MenuModelTest, SigningInSetsThisComputerUpAndADeclinedConsentIsNotAskedAgain) {
    const auto model = makeModel();
    EXPECT_EQ(model->credentialsNote(),
              "Credentials are stored in a plain file (TARVO_SECRET_STORE=file).");
    EXPECT_EQ(consentRequests->count(), 0) << "no token, so no consent question yet";
    signInForAToken(*model);
    EXPECT_EQ(model->signedInEmail().toStdString(), email);
    EXPECT_TRUE(model->accountError().isEmpty()) << model->accountError().toStdString();

    // Choosing "Not now" is a decision: the flags follow it and no further question comes.
    model->recordConsent(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->aiDecided(); }, 5000));
    EXPECT_FALSE(model->aiGranted());
    EXPECT_EQ(consentRequests->count(), 1);
    const auto restarted = makeModel();
    QTest::qWait(100);
    EXPECT_EQ(consentRequests->count(), 0);
}

TEST_F(MenuModelTest, AWrongPasswordAndAFailedSetUpAreSaidAndTheMenuStaysUsable) {
    const auto model = makeModel();
    signIn(*model, "wrong password");
    EXPECT_EQ(model->accountError(), "Invalid login credentials");
    EXPECT_TRUE(model->signedInEmail().isEmpty());
    EXPECT_FALSE(model->hasToken());

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
    signInForAToken(*model);
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

TEST_F(MenuModelTest, AFlushSaysHowManyWaitingCapturesWereSentOrWhyTheyStillWait) {
    const auto model = makeModel();
    signInForAToken(*model);

    queueCaptures(3);
    model->drainOutbox(true);
    settle(*model);
    EXPECT_EQ(model->lastEvent(), "Sent 3 captures that were waiting");
    EXPECT_EQ(model->sentCount(), 3);
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
        signInForAToken(*signedIn);
    }
    queueCaptures(1);

    const auto model = makeModel({.outboxInterval = 300ms, .quitWaitLimit = 8s});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 1; }, 10000));
    EXPECT_EQ(model->lastEvent(), "Sent 1 capture that were waiting");
    queueCaptures(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 2; }, 10000));
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
    signInForAToken(*model);
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);

    // A send that takes a while, made the way the delayed selection send is made.
    failNext("/functions/v1/capture-ingest", {{"delay_ms", 5000}});
    model->setPendingSend(model->tasks().run(
        [](std::stop_token stop) {
            const CaptureClient client(Auth::defaultProvider());
            return client.send(CaptureIngestRequest{{.content = "too slow"}}, std::nullopt, stop)
                .has_value();
        },
        [](bool) {}));
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

struct RecordingToast final : SelectionToastPanel {
    void show(const QString& text, const std::optional<QString>& app,
              std::function<void()>) override {
        shown.push_back(text.toStdString());
        sourceApp = app;
    }
    void dismiss() override { ++dismissed; }
    std::vector<std::string> shown;
    std::optional<QString> sourceApp;
    int dismissed = 0;
};

struct RecordingQuickEntry final : QuickEntryPanel {
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
        signInForAToken(*model);
        fakes.frontmostApp.window = ActiveWindow{.id = 7,
                                                 .name = "Mousepad",
                                                 .identifier = "mousepad",
                                                 .pid = 9,
                                                 .title = "plans.txt - Mousepad"};
        return model;
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

TEST_F(SelectionModelTest, TenQuickPressesSendOnlyTheLastSelection) {
    // Each capture must have read its text before the next press changes it; each press comes
    // well inside the undo window of the one before.
    const auto model = makeSignedIn(2s);
    for (int press = 0; press < 10; ++press) {
        const auto text = "press " + std::to_string(press);
        fakes.selectedText.accessible = text;
        ASSERT_TRUE(fakes.hotkeys.press(1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return toast.shown.size() == press + 1u; }, 5000));
        EXPECT_EQ(toast.shown.back(), text);
        QTest::qWait(40);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sentCount() == 1; }, 10000));
    EXPECT_EQ(model->lastEvent(), "Sent selection from Mousepad (accessibility)");
    EXPECT_EQ(toast.sourceApp, "Mousepad");
    settle(*model);
    const Json entries = backend.entries(userID);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].value("body", Json::object()).value("content", ""), "press 9");
    EXPECT_EQ(model->sentCount(), 1);
}

TEST_F(SelectionModelTest, QuittingInsideTheUndoWindowKeepsTheSelectionForTheNextStart) {
    const auto model = makeSignedIn(6s);
    QSignalSpy ready(model.get(), &CaptureMenuModel::readyToQuit);
    fakes.selectedText.accessible = "kept for later";
    ASSERT_TRUE(fakes.hotkeys.press(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !toast.shown.empty(); }, 5000));
    const auto started = std::chrono::steady_clock::now();
    model->finishPendingOnQuit();
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(toast.dismissed, 1);
    EXPECT_EQ(CaptureOutbox::pendingCount(), 1u);
    EXPECT_TRUE(backend.entries(userID).empty());
}

// Screenshots: a real folder and watcher, a fake confirm panel, uploads to the dev backend.

struct RecordingConfirmPanel final : ScreenshotConfirmPanel {
    void show(const DetectedScreenshot& shot, int remaining,
              const std::optional<std::string>& nameHint) override {
        showing = shot;
        shownRemaining = remaining;
        shownHint = nameHint;
    }
    void hide() override { showing.reset(); }

    std::optional<DetectedScreenshot> showing;
    int shownRemaining = -1;
    std::optional<std::string> shownHint;
};

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

    std::unique_ptr<CaptureMenuModel> makeWatcher(bool withToken = true) {
        if (withToken) {
            EXPECT_TRUE(TokenStore::save(account.deviceToken));
        }
        auto model = makeModel();
        model->attachConfirmPanel(panel);
        return model;
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
    RecordingConfirmPanel panel;
    tarvo::test::Account account = backend.newAccount();
};

TEST_F(ScreenshotModelTest, SwitchedOnItSendsNewScreenshotsButNotTheOnesAlreadyThere) {
    save("before.png");
    const auto model = makeWatcher();
    EXPECT_EQ(model->status(), "Off");
    model->setAutoCapture(true);
    EXPECT_EQ(model->status(), "Watching Shots");

    save("Screenshot 1.png");
    ASSERT_TRUE(waitFor([&] { return model->lastEvent() == "Sent Screenshot 1.png"; }))
        << model->lastEvent().toStdString();
    EXPECT_EQ(model->sentCount(), 1);
    EXPECT_EQ(entries().size(), 1u) << "before.png was there before capture was switched on";

    model->setAutoCapture(false);
    EXPECT_FALSE(model->isWatching());
    EXPECT_EQ(model->status(), "Off");
    EXPECT_FALSE(AppSettings().autoCaptureEnabledAt());
}

TEST_F(ScreenshotModelTest, AskingFirstQueuesEachShotOnceAndRecordsWhatIsSkipped) {
    const auto model = makeWatcher();
    model->setConfirmBeforeSending(true);
    model->setAutoCapture(true);
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        save(name);
    }
    ASSERT_TRUE(waitFor([&] { return model->pendingQueue().size() == 3; }));
    EXPECT_EQ(model->status(), "Waiting on you: 3 to review");
    ASSERT_TRUE(panel.showing);
    EXPECT_EQ(panel.shownRemaining, 2);
    EXPECT_EQ(panel.shownHint, "Ada Lovelace");
    model->handleDetected(model->pendingQueue()[1]);
    EXPECT_EQ(model->pendingQueue().size(), 3u) << "the same shot is queued once";

    const std::string first = panel.showing->fingerprint;
    model->skipPending();
    EXPECT_TRUE(AppSettings().wasSent(first));
    EXPECT_EQ(model->status(), "Waiting on you: 2 to review");
    EXPECT_TRUE(model->lastEvent().startsWith("Skipped "));

    const std::string last = model->pendingQueue().at(1).fingerprint;
    model->skipAllPending();
    EXPECT_EQ(model->lastEvent(), "Skipped 2");
    EXPECT_TRUE(AppSettings().wasSent(last));
    EXPECT_FALSE(panel.showing);
    EXPECT_EQ(model->status(), "Watching Shots");
    EXPECT_TRUE(entries().empty());
}

TEST_F(ScreenshotModelTest, FailuresAreWordedAndOnlyPassingOnesWaitInTheOutbox) {
    const auto model = makeWatcher();
    model->setAutoCapture(true);
    failNext("/functions/v1/capture-ingest", {{"count", 3}, {"status", 503}});
    save("busy.png");
    ASSERT_TRUE(waitFor([&] { return model->outboxCount() == 1; }))
        << model->lastEvent().toStdString() << " / " << model->status().toStdString();
    EXPECT_EQ(model->lastEvent(), "Saved busy.png to send later — server 503");
    EXPECT_EQ(model->status(), "Waiting to send");

    failNext("/functions/v1/capture-ingest", {{"status", 422}});
    save("refused.png");
    ASSERT_TRUE(waitFor([&] { return model->lastEvent().startsWith("Failed refused"); }));
    EXPECT_EQ(model->lastEvent(), "Failed refused.png — Ingest returned 422");
    EXPECT_EQ(model->status(), "Last upload failed");
    EXPECT_EQ(model->outboxCount(), 1);
}

TEST_F(ScreenshotModelTest, WithoutATokenNothingIsWatchedAndStoppingEmptiesTheQueue) {
    const auto signedOut = makeWatcher(false);
    signedOut->setAutoCapture(true);
    EXPECT_EQ(signedOut->status(), "Sign in to start");
    EXPECT_FALSE(signedOut->isWatching());

    const auto model = makeWatcher();
    model->setConfirmBeforeSending(true);
    ASSERT_TRUE(waitFor([&] { return model->isWatching(); })) << "capture was left on";
    save("waiting.png");
    ASSERT_TRUE(waitFor([&] { return !model->pendingQueue().empty(); }));
    model->setAutoCapture(false);
    EXPECT_TRUE(model->pendingQueue().empty());
    EXPECT_FALSE(panel.showing);
    EXPECT_EQ(model->status(), "Off");

    model->openScreenshotFolder();
    ASSERT_EQ(fakes.folderOpener.folders.size(), 1u);
    EXPECT_EQ(fakes.folderOpener.folders[0], shots);
}

} // namespace
} // namespace tarvo::desktop
