// The desktop uploader against the dev backend over real HTTP.

#include "desktop/image_files.hpp"
#include "support/account_sandbox.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"
#include "support/fixed_token.hpp"
#include "support/manual_clock.hpp"
#include "support/recording_sleeper.hpp"

#include <desktop/model/desktop_uploader.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/delivery/capture_outbox.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <mutex>
#include <vector>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;
using tarvo::test::FixedToken;

namespace tarvo::desktop {

void PrintTo(const DesktopUploader::Outcome& outcome, std::ostream* out) {
    *out << "{kind " << static_cast<int>(outcome.kind) << ", \"" << outcome.reason << "\"}";
}

namespace {

auto* const environment = DevBackendEnvironment::install();

constexpr std::string_view ingestPath = "/functions/v1/capture-ingest";
using Outcome = DesktopUploader::Outcome;
using Route = DesktopUploader::Route;

// The shared session, remembering the idempotency key as it went on the wire (the dev backend
// percent-decodes header values before it logs them).
class KeyRecordingSession final : public HttpTransport {
public:
    std::expected<HttpResponse, HttpError> perform(const HttpRequest& request,
                                                   std::stop_token stop) override {
        for (const auto& [name, value] : request.headers) {
            if (name == "Idempotency-Key") {
                std::lock_guard lock(mutex_);
                lastKey_ = value;
            }
        }
        return HttpSession::shared().perform(request, stop);
    }
    std::string lastKey() const {
        std::lock_guard lock(mutex_);
        return lastKey_;
    }

private:
    mutable std::mutex mutex_;
    std::string lastKey_;
};

struct UploaderAgainstBackend : ::testing::Test {
    tarvo::test::AccountSandbox sandbox;
    BackendClient backend{DevBackendEnvironment::backend()};
    tarvo::test::Account account = backend.newAccount();
    FixedToken token{account.deviceToken};
    tarvo::test::RecordingSleeper noPause;
    KeyRecordingSession session;
    CaptureClient client{token, session, noPause};
    tarvo::test::ManualClock clock{Date(1'800'000'000s)};
    AppSettings settings{Preferences("com.merrow.loft.mac", sandbox.folder() / "prefs"), clock};
    DesktopUploader uploader{client, settings, "Test Device", clock};

    void SetUp() override {
        backend.send("DELETE", "/__dev/requests");
        std::filesystem::create_directory(sandbox.folder() / "outbox");
        CaptureOutbox::setDirectoryOverride(sandbox.folder() / "outbox");
    }
    void TearDown() override {
        backend.send("DELETE", "/__dev/faults");
        CaptureOutbox::setDirectoryOverride(std::nullopt);
    }

    DetectedScreenshot screenshot(const std::string& name, int width, int height) {
        const auto file = sandbox.folder() / name;
        tarvo::test::saveImage(file, tarvo::test::screenshotLikeImage(width, height), "PNG");
        return shotOf(file);
    }
    static DetectedScreenshot shotOf(const std::filesystem::path& file) {
        auto shot = makeShot(file, dates::now() + 1h);
        EXPECT_TRUE(shot) << file;
        return shot.value_or(DetectedScreenshot{});
    }
    Json entries() { return backend.entries(account.session.userID); }
    Json lastBody() {
        const Json all = entries();
        return all.empty() ? Json() : all.back().value("body", Json());
    }
    void failIngest(const Json& fault) {
        Json full = fault;
        full["path"] = std::string(ingestPath);
        backend.addFault(full);
    }
};

TEST_F(UploaderAgainstBackend, AScreenshotIsFiledUnderItsFingerprintAndOnlyOnce) {
    const auto shot = screenshot("Screenshot 1.png", 400, 300);
    const auto outcome = uploader.uploadScreenshot(shot, std::nullopt);
    ASSERT_EQ(outcome.kind, Outcome::Kind::sent) << outcome.reason;
    EXPECT_TRUE(outcome.entryID);
    EXPECT_EQ(lastBody().value("device", ""), "Test Device");
    EXPECT_EQ(session.lastKey(), shot.fingerprint);
    EXPECT_TRUE(settings.wasSent(shot.fingerprint));

    EXPECT_EQ(uploader.uploadScreenshot(shot, std::nullopt), Outcome::skipped("already sent"));
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(UploaderAgainstBackend, PassingFailuresAreQueuedAndRecordedWhileRefusalsAreNeither) {
    const auto busy = screenshot("busy.png", 300, 200);
    failIngest({{"count", 3}, {"status", 503}});
    EXPECT_EQ(uploader.uploadScreenshot(busy, std::nullopt), Outcome::queued("server 503"));
    EXPECT_TRUE(settings.wasSent(busy.fingerprint));
    ASSERT_EQ(CaptureOutbox::pendingCount(), 1u);
    EXPECT_EQ(CaptureOutbox::pending()[0].idempotencyKey, busy.fingerprint);
    EXPECT_EQ(CaptureOutbox::queued()[0].title, "busy.png");

    const auto down = screenshot("down.png", 300, 200);
    // libcurl tries a dropped reused connection once more by itself: enough drops for both.
    failIngest({{"count", 10}, {"drop", true}});
    const auto dropped = uploader.uploadScreenshot(down, std::nullopt);
    EXPECT_EQ(dropped, Outcome::queued(std::string(DesktopUploader::unreachableReason)))
        << "the transport's own words go to the log, not to the person";
    EXPECT_TRUE(settings.wasSent(down.fingerprint));
    backend.send("DELETE", "/__dev/faults");

    const auto refused = screenshot("refused.png", 300, 200);
    failIngest({{"status", 422}});
    EXPECT_EQ(uploader.uploadScreenshot(refused, std::nullopt),
              Outcome::failed("Ingest returned 422"));
    EXPECT_FALSE(settings.wasSent(refused.fingerprint));
    EXPECT_EQ(CaptureOutbox::pendingCount(), 2u);
    // Not recorded, so it can be tried again.
    EXPECT_EQ(uploader.uploadScreenshot(refused, std::nullopt).kind, Outcome::Kind::sent);

    // The queued ones are delivered later under their first key, each once.
    EXPECT_EQ(CaptureOutbox::flush(client, true, std::nullopt), 2);
    EXPECT_EQ(entries().size(), 3u);
}

TEST_F(UploaderAgainstBackend, ShotsFromBeforeTheToggleAndUnreadableFilesAreNotSent) {
    settings.persistAutoCapture(true);
    auto early = screenshot("early.png", 30, 20);
    early.createdAt = clock.now() - 1s;
    EXPECT_EQ(uploader.uploadScreenshot(early, std::nullopt),
              Outcome::skipped("older than the toggle"));

    // Which files cannot be read is for the JPEG conversion's own tests; here, what follows.
    tarvo::test::writeBytes(sandbox.folder() / "bomb.png", tarvo::test::pngDeclaring(30000, 30000));
    auto bomb = shotOf(sandbox.folder() / "bomb.png");
    bomb.createdAt = clock.now() + 1s;
    EXPECT_EQ(uploader.uploadScreenshot(bomb, std::nullopt),
              Outcome::failed("Couldn't read bomb.png"));
    EXPECT_FALSE(settings.wasSent(bomb.fingerprint));
    EXPECT_TRUE(backend.requests(std::string(ingestPath)).empty());
}

TEST_F(UploaderAgainstBackend, ARapportPhotoIsFiledToRapportAndConsentDropsTheOptOut) {
    backend.send("PUT", "/__dev/users/" + account.session.userID + "/people",
                 R"([{"name": "Ada Lovelace"}])", {{"Content-Type", "application/json"}});
    AIConsent::record(true);
    const auto shot = screenshot("ada.png", 64, 64);
    ASSERT_EQ(uploader.uploadScreenshot(shot, Route::rapportAvatar("Ada Lovelace")).kind,
              Outcome::Kind::sent);
    EXPECT_EQ(entries().back().value("destination", ""), "rapport") << entries().dump();
    EXPECT_FALSE(lastBody().contains("ai_opt_out"));
}

TEST_F(UploaderAgainstBackend, AFileNameWithALineBreakTravelsAsAnEncodedKey) {
    const auto shot = screenshot("two\nlines\t.png", 40, 30);
    ASSERT_EQ(uploader.uploadScreenshot(shot, std::nullopt).kind, Outcome::Kind::sent);
    const std::string key = session.lastKey();
    const std::string tail = shot.fingerprint.substr(shot.fingerprint.find(".png|"));
    EXPECT_TRUE(key.ends_with("/two%0Alines%09" + tail)) << key;
    EXPECT_EQ(lastBody().value("source_ref", ""), shot.fingerprint);
}

TEST_F(UploaderAgainstBackend, NamesThatDifferOnlyInBytesThatAreNotUTF8AreBothFiled) {
    // Saved in the same second with the same size, as two screenshots of one window often are.
    std::vector<DetectedScreenshot> shots;
    for (const char* name : {"same\xff.png", "same\xfe.png"}) {
        const auto file = sandbox.folder() / name;
        tarvo::test::writeBytes(
            file, tarvo::test::encoded(tarvo::test::screenshotLikeImage(40, 30), "PNG"));
        const timespec sameSecond[2] = {{1'700'000'000, 0}, {1'700'000'000, 0}};
        ::utimensat(AT_FDCWD, file.c_str(), sameSecond, 0);
        shots.push_back(shotOf(file));
    }
    ASSERT_NE(shots[0].fingerprint, shots[1].fingerprint);
    for (const auto& shot : shots) {
        EXPECT_EQ(uploader.uploadScreenshot(shot, std::nullopt).kind, Outcome::Kind::sent);
    }
    const Json filed = entries();
    ASSERT_EQ(filed.size(), 2u) << filed.dump();
    EXPECT_EQ(filed[0]["body"].value("source_ref", ""), shots[0].fingerprint);
    EXPECT_EQ(filed[1]["body"].value("source_ref", ""), shots[1].fingerprint);
}

TEST_F(UploaderAgainstBackend, SelectionsAndQuickTasksAreSentWithTheirKeys) {
    const std::optional<std::string> title = "Release notes";
    ASSERT_EQ(uploader.sendSelection("ship it on Friday", title, "Mousepad").kind,
              Outcome::Kind::sent);
    EXPECT_EQ(lastBody().value("ai_opt_out", false), true);
    EXPECT_TRUE(session.lastKey().starts_with("selection-"));
    // The same text within the same ten minutes is the same capture.
    EXPECT_EQ(uploader.sendSelection("ship it on Friday", std::nullopt, std::nullopt).kind,
              Outcome::Kind::sent);
    EXPECT_EQ(entries().size(), 1u);

    EXPECT_EQ(uploader.sendQuickTask(" \n "), Outcome::skipped("nothing to send"));
    ASSERT_EQ(uploader.sendQuickTask("  call the plumber ").kind, Outcome::Kind::sent);
    const Json body = lastBody();
    EXPECT_EQ(body.value("destination", ""), "docket");
    EXPECT_EQ(body.value("content", ""), "call the plumber");
    EXPECT_EQ(body.value("ai_opt_out", false), true);
    EXPECT_TRUE(session.lastKey().starts_with("quick-"));

    FixedToken none{std::nullopt};
    const CaptureClient signedOut{none, HttpSession::shared(), noPause};
    const DesktopUploader withoutToken{signedOut, settings, "Test Device", clock};
    EXPECT_EQ(withoutToken.sendQuickTask("later"),
              Outcome::queued(std::string(DesktopUploader::signInReason)));
}

} // namespace
} // namespace tarvo::desktop
