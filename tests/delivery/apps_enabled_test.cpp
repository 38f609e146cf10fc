#include "support/account_sandbox.hpp"
#include "support/fixed_token.hpp"
#include "support/manual_clock.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/delivery/apps_enabled.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/notification_center.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::FixedToken;
using tarvo::test::ManualClock;
using tarvo::test::ScriptedTransport;

namespace {

class AppsEnabledTest : public ::testing::Test {
protected:
    AppsEnabledTest() {
        observation = NotificationCenter::shared().addObserver(
            std::string(AppsEnabled::didChangeNotification),
            [this](std::string_view) { ++notifications; });
    }
    void refresh(bool force, const AuthProvider& auth) {
        AppsEnabled::refresh(auth, force, {}, {&transport, &clock, std::nullopt});
    }

    tarvo::test::AccountSandbox sandbox;
    ManualClock clock{*dates::parseISO8601("2026-03-01T09:30:00Z")};
    ScriptedTransport::Reply answer = ScriptedTransport::reply(
        200, R"([{"app_key":"docket","enabled":false},{"app_key":"stash","enabled":true}])");
    ScriptedTransport transport{[this](const HttpRequest&, std::stop_token) {
        return std::expected<HttpResponse, HttpError>(answer);
    }};
    FixedToken token{" token\n"};
    int notifications = 0;
    NotificationCenter::Observation observation;
};

} // namespace

// The call's path, key and answer are tested against the dev backend.
TEST_F(AppsEnabledTest, AsksAboutEveryGatedAppWithTheTrimmedBearerWithinSixSeconds) {
    refresh(false, token);
    const HttpRequest request = transport.requests().at(0);
    EXPECT_EQ(request.timeout, 6s);
    EXPECT_EQ(request.headers.back(), (HttpHeaders::value_type{"Authorization", "Bearer token"}));
    EXPECT_EQ(*json::parse(request.body), (Json{{"p_keys", AppsEnabled::gatedKeys()}}));
}

TEST_F(AppsEnabledTest, NothingUsableLeavesTheCacheAsItWas) {
    refresh(true, token);
    const auto stamp = SharedState::appsEnabledFetchedAt();
    ASSERT_EQ(stamp, clock.now());
    clock.advance(1h);
    for (const std::string body :
         {"{}", R"([{"app_key":"docket"}])", R"([{"app_key":7,"enabled":false}])", "nope"}) {
        answer = ScriptedTransport::reply(200, body);
        refresh(true, token);
    }
    answer = ScriptedTransport::reply(500, R"([])");
    refresh(true, token);
    EXPECT_EQ(transport.requests().size(), 6u);

    refresh(true, FixedToken(std::nullopt));
    refresh(true, FixedToken(" \n"));
    EXPECT_EQ(transport.requests().size(), 6u);
    EXPECT_EQ(SharedState::appsEnabledFetchedAt(), stamp);
    EXPECT_EQ(SharedState::disabledAppKeys(), std::set<std::string>{"docket"});
    EXPECT_EQ(notifications, 1);
}

// Clearing a cache with apps off is tested against the dev backend, on signing out.
TEST_F(AppsEnabledTest, ClearingACacheWithNothingOffAnnouncesNothing) {
    AppsEnabled::clearCache();
    EXPECT_EQ(notifications, 0);
}

TEST_F(AppsEnabledTest, ACacheStampedInTheFutureIsNeitherTrustedNorKeptFromRefreshing) {
    refresh(false, token);
    ASSERT_FALSE(AppsEnabled::isEnabled(Destination::docket, clock));
    // The clock was a year ahead when the cache was filled, and has been put right since.
    clock.advance(-24h * 365);
    EXPECT_TRUE(AppsEnabled::isEnabled(Destination::docket, clock));
    refresh(false, token);
    EXPECT_EQ(transport.requests().size(), 2u);
    EXPECT_EQ(SharedState::appsEnabledFetchedAt(), clock.now());
    EXPECT_FALSE(AppsEnabled::isEnabled(Destination::docket, clock));
}
