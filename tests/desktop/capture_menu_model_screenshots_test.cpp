// The menu model's screenshots end to end below the widgets: a real folder and watcher, fake
// desktop services and panel, uploads to the dev backend over real HTTP. The library reads its
// configuration once per process, so the program shares one sandbox, emptied before each test.

#include "desktop/image_files.hpp"
#include "desktop/qt_event_loop.hpp"

#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/fake/fake_desktop_services.hpp>

#include "desktop/menu_model_sandbox.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_outbox.hpp>

#include <gtest/gtest.h>

#include <thread>

namespace tarvo::desktop {
namespace {

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;
using tarvo::test::runEventsFor;
using tarvo::test::runEventsUntil;
using Route = DesktopUploader::Route;

tarvo::test::TemporaryFolder& sandbox() {
    return tarvo::test::menuModelSandbox();
}

const bool sandboxed = tarvo::test::useMenuModelSandbox();
auto* const environment = DevBackendEnvironment::install();

class RecordingConfirmPanel final : public ScreenshotConfirmPanel {
public:
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

struct ScreenshotModelTest : ::testing::Test {
    ScreenshotModelTest() {
        tarvo::test::qtApplication();
        tarvo::test::resetMenuModelSandbox();
        std::filesystem::remove_all(sandbox() / "Shots");
        std::filesystem::create_directory(sandbox() / "Shots");
        CaptureConfig::standardPreferences().set(AppSettings::folderOverrideKey,
                                                 (sandbox() / "Shots").string());
        fakes.frontmostApp.window = ActiveWindow{.id = 3,
                                                 .name = "Contacts",
                                                 .identifier = "contacts",
                                                 .pid = 5,
                                                 .title = "Ada Lovelace — Contacts"};
    }
    void TearDown() override { backend.send("DELETE", "/__dev/faults"); }

    std::unique_ptr<CaptureMenuModel> makeModel(bool withToken = true) {
        if (withToken) {
            EXPECT_TRUE(TokenStore::save(account.deviceToken));
        }
        auto model = std::make_unique<CaptureMenuModel>(fakes.services());
        model->attachConfirmPanel(panel);
        EXPECT_TRUE(runEventsUntil([&] { return model->isLoaded(); }, 10s));
        return model;
    }
    std::filesystem::path save(const std::string& name, int width = 64, int height = 48) {
        // File times come from the kernel's coarse clock, a few milliseconds behind the one that
        // stamped the switch-on: a file saved at once could count as older than the switch.
        std::this_thread::sleep_for(20ms);
        const auto file = sandbox() / "Shots" / name;
        tarvo::test::saveImage(file, tarvo::test::screenshotLikeImage(width, height), "PNG");
        return file;
    }
    static bool waitFor(const std::function<bool()>& done) { return runEventsUntil(done, 15s); }
    static bool idle(CaptureMenuModel& model) {
        return waitFor([&] { return model.tasks().runningCount() == 0; });
    }
    Json entries() { return backend.entries(account.session.userID); }

    fake::FakeDesktopServices fakes;
    RecordingConfirmPanel panel;
    BackendClient backend{DevBackendEnvironment::backend()};
    tarvo::test::Account account = backend.newAccount();
};

TEST_F(ScreenshotModelTest, SwitchedOnItSendsNewScreenshotsButNotTheOnesAlreadyThere) {
    save("before.png");
    const auto model = makeModel();
    EXPECT_EQ(model->status(), "Off");
    model->setAutoCapture(true);
    EXPECT_TRUE(model->isWatching());
    EXPECT_EQ(model->status(), "Watching Shots");

    save("Screenshot 1.png", 4000, 3000);
    ASSERT_TRUE(waitFor([&] { return model->lastEvent() == "Sent Screenshot 1.png"; }))
        << model->lastEvent().toStdString();
    EXPECT_EQ(model->status(), "Watching Shots");
    EXPECT_EQ(model->sentCount(), 1);
    const Json all = entries();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_TRUE(all[0]["body"].value("source_ref", "").find("/Shots/Screenshot 1.png|") !=
                std::string::npos);

    model->setAutoCapture(false);
    EXPECT_FALSE(model->isWatching());
    EXPECT_EQ(model->status(), "Off");
    EXPECT_FALSE(AppSettings().autoCaptureEnabledAt());
}

TEST_F(ScreenshotModelTest, AskingFirstQueuesShotsForThePanelAndRecordsWhatIsSkipped) {
    const auto model = makeModel();
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

    model->sendPending(Route::rapportAvatar("Ada Lovelace"));
    ASSERT_TRUE(waitFor([&] {
        return model->lastEvent() ==
               "Sent as Ada Lovelace's photo — rapport will confirm the match";
    })) << model->lastEvent().toStdString();
    EXPECT_EQ(entries().back()["body"].value("person_name", ""), "Ada Lovelace");

    const std::string last = model->pendingQueue().at(0).fingerprint;
    model->skipAllPending();
    EXPECT_EQ(model->lastEvent(), "Skipped 1");
    EXPECT_TRUE(AppSettings().wasSent(last));
    EXPECT_FALSE(panel.showing);
    EXPECT_EQ(model->status(), "Watching Shots");
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(ScreenshotModelTest, FailuresAreWordedAndOnlyPassingOnesWaitInTheOutbox) {
    const auto model = makeModel();
    model->setAutoCapture(true);
    backend.addFault({{"path", "/functions/v1/capture-ingest"}, {"count", 3}, {"status", 503}});
    save("busy.png");
    ASSERT_TRUE(waitFor([&] { return model->outboxCount() == 1; }))
        << model->lastEvent().toStdString() << " / " << model->status().toStdString();
    EXPECT_EQ(model->lastEvent(), "Saved busy.png to send later — server 503");
    EXPECT_EQ(model->status(), "Waiting to send");

    backend.addFault({{"path", "/functions/v1/capture-ingest"}, {"status", 422}});
    save("refused.png");
    ASSERT_TRUE(waitFor([&] { return model->lastEvent().startsWith("Failed refused"); }));
    EXPECT_EQ(model->lastEvent(), "Failed refused.png — Ingest returned 422");
    EXPECT_EQ(model->status(), "Last upload failed");

    tarvo::test::writeBytes(sandbox() / "Shots" / "broken.png", "not an image");
    ASSERT_TRUE(waitFor([&] { return model->lastEvent().startsWith("Failed broken"); }));
    EXPECT_EQ(model->lastEvent(), "Failed broken.png — Couldn't read broken.png");
    EXPECT_EQ(model->outboxCount(), 1);
}

TEST_F(ScreenshotModelTest, WithoutATokenNothingIsWatchedAndStoppingEmptiesTheQueue) {
    const auto signedOut = makeModel(false);
    signedOut->setAutoCapture(true);
    EXPECT_EQ(signedOut->status(), "Sign in to start");
    EXPECT_FALSE(signedOut->isWatching());

    const auto model = makeModel();
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
    EXPECT_EQ(fakes.folderOpener.folders[0], sandbox() / "Shots");
}

} // namespace
} // namespace tarvo::desktop
