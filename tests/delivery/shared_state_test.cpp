#include "support/account_sandbox.hpp"

#include <capturekit/account/session_store.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_links.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/uuid.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::AccountSandbox;

namespace {

const Date at = *dates::parseISO8601("2026-03-01T09:30:00Z");

struct SharedStateTest : testing::Test {
    AccountSandbox sandbox;
};

RecentCapture row(std::string title, std::optional<std::string> owner) {
    return RecentCapture{makeUUIDString(), Destination::docket, std::move(title), at, "e-1",
                         std::nullopt,     std::nullopt,        std::move(owner)};
}

} // namespace

TEST_F(SharedStateTest, TheOwnerIsTheTestRunnerThenTheSessionThenTheTokenIdentity) {
    FileSecretStore& secrets = sandbox.secrets();
    EXPECT_EQ(SharedState::currentUserID(secrets, false), std::nullopt);
    ASSERT_TRUE(TokenStore::save("vlt_token", secrets));
    EXPECT_EQ(SharedState::currentUserID(secrets, false), TokenStore::identityOf("vlt_token"));
    ASSERT_TRUE(SessionStore::save(UserSession{"a", "r", at, "user-1", std::nullopt}, secrets));
    EXPECT_EQ(SharedState::currentUserID(secrets, false), "user-1");
    EXPECT_EQ(SharedState::currentUserID(secrets, true), "xctest-user");
    EXPECT_EQ(SharedState::currentUserID(), "xctest-user");
}

TEST_F(SharedStateTest, APendingSurfaceIsHandedOverOnce) {
    EXPECT_EQ(SharedState::consumePendingSurface(), std::nullopt);
    SharedState::setPendingSurface(CaptureSurface::quickTaskWidget);
    EXPECT_EQ(SharedState::consumePendingSurface(), CaptureSurface::quickTaskWidget);
    EXPECT_EQ(SharedState::consumePendingSurface(), std::nullopt);

    CaptureConfig::appGroupPreferences().set("pendingCaptureSurface", std::string("nowhere"));
    EXPECT_EQ(SharedState::consumePendingSurface(), std::nullopt);
    EXPECT_EQ(CaptureConfig::appGroupPreferences().value("pendingCaptureSurface"), std::nullopt);
}

TEST_F(SharedStateTest, SentScreenshotsKeepTheNewestThousandWithoutRepeats) {
    SharedState::markScreenshotSent("shot-0");
    SharedState::markScreenshotSent("shot-0");
    EXPECT_EQ(SharedState::sentScreenshotIDs(), std::set<std::string>{"shot-0"});
    for (int i = 1; i <= 1000; ++i) {
        SharedState::markScreenshotSent("shot-" + std::to_string(i));
    }
    const auto ids = SharedState::sentScreenshotIDs();
    EXPECT_EQ(ids.size(), 1000u);
    EXPECT_FALSE(ids.contains("shot-0"));
}

TEST_F(SharedStateTest, TheAttemptAndTimingLogsKeepTheirNewestLinesAndSkipBrokenOnes) {
    SharedState::recordAudioAttempt("abc", "u/1.m4a", "ok", at);
    SharedState::recordAudioAttempt("0123456789", "u/2.m4a", "failed", at + 1s);
    const auto attempts = SharedState::audioAttempts();
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_EQ(attempts[0],
              (SharedState::AudioAttempt{"9:30:01Z", "01234567", "u/2.m4a", "failed"}));
    EXPECT_EQ(attempts[1], (SharedState::AudioAttempt{"9:30:00Z", "abc", "u/1.m4a", "ok"}));
    for (int i = 0; i < 12; ++i) {
        SharedState::recordAudioAttempt("u", "p", std::to_string(i), at);
    }
    EXPECT_EQ(SharedState::audioAttempts().size(), 10u);
    EXPECT_EQ(SharedState::audioAttempts()[0].result, "11");

    SharedState::recordCaptureTiming("share", std::nullopt, std::nullopt, std::nullopt,
                                     std::nullopt, std::nullopt);
    SharedState::recordCaptureTiming("grab", 0.126, 1.0, 42, "docket", "stash");
    EXPECT_EQ(CaptureConfig::appGroupPreferences().get<std::vector<std::string>>("captureTimings"),
              (std::vector<std::string>{"grab|0.13|1.00|42|docket|stash", "share|-|-|-|-|-"}));
    // A label with a bar in it makes a line of the wrong shape, which reading skips.
    SharedState::recordCaptureTiming("a|b", 1, 1, 1, "x", "y");
    EXPECT_EQ(SharedState::captureTimings().size(), 2u);
    SharedState::clearCaptureTimings();
    EXPECT_TRUE(SharedState::captureTimings().empty());
}

TEST_F(SharedStateTest, RecentsKeepTwentyRowsOfAllOwnersAndShowEachOwnerOnlyTheirs) {
    SharedState::logCapture(row("unowned", std::nullopt));
    for (int i = 0; i < 20; ++i) {
        SharedState::logCapture(row("kim " + std::to_string(i), i % 2 ? "kim" : "lee"));
    }
    const auto kims = SharedState::recent("kim");
    EXPECT_EQ(kims.size(), 10u);
    EXPECT_EQ(kims.front().title, "kim 19");
    EXPECT_EQ(SharedState::recent("lee").size(), 10u);
    EXPECT_TRUE(SharedState::recent(std::nullopt).empty());
    EXPECT_TRUE(SharedState::recent("nobody").empty());

    SharedState::logCapture(Destination::stash, "logged now", "e-9", std::nullopt, "books", at);
    const auto mine = SharedState::recent();
    ASSERT_EQ(mine.size(), 1u);
    EXPECT_EQ(mine[0].title, "logged now");
    EXPECT_EQ(mine[0].owner, "xctest-user");
    EXPECT_TRUE(isUUIDString(mine[0].id));
    EXPECT_EQ(mine[0].timestamp, at);
    EXPECT_EQ(mine[0].category, "books");
    EXPECT_EQ(SharedState::recent("lee").size(), 9u); // the oldest of all rows went
}

TEST_F(SharedStateTest, RecentsAreStoredInTheirJSONFormAndUnreadableDataStartsAfresh) {
    const RecentCapture capture{"ID-1",       Destination::bloom, "A thought", at,
                                std::nullopt, std::nullopt,       "rec-1",     "kim"};
    EXPECT_EQ(RecentCapture::encodeList({capture}),
              R"([{"id":"ID-1","destination":"bloom","title":"A thought","timestamp":794050200.0,)"
              R"("recordingID":"rec-1","owner":"kim"}])");
    EXPECT_EQ(RecentCapture::decodeList(RecentCapture::encodeList({capture})),
              std::vector<RecentCapture>{capture});

    const std::string garbage = "not json";
    CaptureConfig::appGroupPreferences().set("recentCaptures",
                                             PreferenceBytes(garbage.begin(), garbage.end()));
    EXPECT_TRUE(SharedState::recent().empty());
    SharedState::logCapture(Destination::stash, "after", std::nullopt, std::nullopt, std::nullopt,
                            at);
    ASSERT_EQ(SharedState::recent().size(), 1u);
    EXPECT_EQ(SharedState::recent()[0].title, "after");
}

TEST(CaptureLinks, DeepenToSafeEntriesAndKnownCabinetCategoriesOnly) {
    const CaptureEnvironment& production = CaptureEnvironment::production();
    const auto base = [&](std::string_view slug) {
        return *CaptureConfig::webAppURL(production, slug);
    };
    using CaptureLinks::url;
    EXPECT_EQ(url(production, Destination::stash, "a-B_9", std::nullopt),
              base("stash") + "entries/a-B_9");
    EXPECT_EQ(url(production, Destination::stash, "Запись7", std::nullopt),
              base("stash") + "entries/Запись7");
    EXPECT_EQ(url(production, Destination::trove, "x1", std::nullopt), base("trove") + "i/x1");
    for (const std::string unsafe : {"a b", "../x", "a/b", "a.b", "a?b", ""}) {
        EXPECT_EQ(url(production, Destination::stash, unsafe, std::nullopt), base("stash"));
    }
    EXPECT_EQ(url(production, Destination::cabinet, std::nullopt, "Video_Games"),
              base("cabinet") + "video-games");
    EXPECT_EQ(url(production, Destination::cabinet, std::nullopt, "models_3d"),
              base("cabinet") + "3d-models");
    EXPECT_EQ(url(production, Destination::cabinet, std::nullopt, "stamps"), base("cabinet"));
    EXPECT_EQ(url(production, Destination::docket, "e-1", "books"), base("docket"));
    EXPECT_EQ(url(production, Destination::bloom, std::nullopt, std::nullopt), base("diary"));
}
