// The delivery module's calls to the backend with scripted replies: what each sends and how it
// reads replies and failures. Their exchanges with the dev backend are tested over real HTTP.

#include "support/account_sandbox.hpp"
#include "support/fixed_token.hpp"
#include "support/manual_clock.hpp"
#include "support/recording_sleeper.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/apps_enabled.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/delivery/suggest_client.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/notification_center.hpp>
#include <capturekit/platform/uuid.hpp>

#include <gtest/gtest.h>

#include <cmath>

using namespace capturekit;
using namespace std::chrono_literals;
using namespace tarvo::test;

namespace {

struct ClientFixture : testing::Test {
    FixedToken token{"  device-token \n"};
    ScriptedTransport transport;
    RecordingSleeper sleeper;
    CaptureClient client{token, transport, sleeper};
    CaptureIngestRequest request{{.content = "hello", .tags = {"desktop"}}};
};

struct SuggestFixture : testing::Test {
    AccountSandbox sandbox;
    FixedToken token{" t \n"};
    int status = 200;
    std::string body = R"({"destination":"Docket","confidence":0.8})";
    ScriptedTransport transport{[this](const HttpRequest&, std::stop_token) {
        return ScriptedTransport::reply(status, body);
    }};
    SuggestClient client{token, transport};

    void SetUp() override { AIConsent::record(true); }
};

CaptureItem item(std::string text, std::vector<std::string> tags = {}) {
    return CaptureItem{.text = std::move(text), .tags = std::move(tags)};
}

struct AppsEnabledTest : testing::Test {
    AppsEnabledTest() {
        observation = NotificationCenter::shared().addObserver(
            std::string(AppsEnabled::didChangeNotification),
            [this](std::string_view) { ++notifications; });
    }
    void refresh(bool force, const AuthProvider& auth) {
        AppsEnabled::refresh(auth, force, {}, {&transport, &clock, std::nullopt});
    }

    AccountSandbox sandbox;
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

// The URL, method and the server's reading of the request are tested against the dev backend.
TEST_F(ClientFixture, SendsTheBodyWithTheTrimmedBearerAndTheKeyWithinThirtySeconds) {
    transport.play({ScriptedTransport::reply(200, R"({"id":"e-1","status":"filed"})")});
    const auto result = client.send(request, "key-1");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->success);
    EXPECT_EQ(result->id, "e-1");

    ASSERT_EQ(transport.requests().size(), 1u);
    const HttpRequest sent = transport.requests()[0];
    EXPECT_EQ(sent.timeout, 30s);
    EXPECT_EQ(sent.body, R"({"content":"hello","tags":["desktop"]})");
    const HttpHeaders expected = {{"Content-Type", "application/json"},
                                  {"Authorization", "Bearer device-token"},
                                  {"apikey", *CaptureConfig::supabaseAnonKey()},
                                  {"Idempotency-Key", "key-1"}};
    EXPECT_EQ(sent.headers, expected);
}

// A missing token is recorded by the outbox's and the command line's tests.
TEST_F(ClientFixture, AnUnencodableRequestMakesNoRequest) {
    CaptureIngestRequest bad{{.content = "x", .audioDurationSeconds = std::nan("")}};
    EXPECT_EQ(client.send(bad, "k").error(), CaptureError::encodingFailed());
    EXPECT_TRUE(transport.requests().empty());
}

// Refusals sent once and 503s sent three times with their pauses are tested over real HTTP with
// the outbox; here any other status is retried too, and the last server reply outlives later
// transport failures.
TEST_F(ClientFixture, EveryStatusButA4xxIsRetriedAndTheLastServerReplyIsReturned) {
    transport.play({ScriptedTransport::reply(503, "a"), ScriptedTransport::reply(302, "b"),
                    ScriptedTransport::reply(503, "c")});
    EXPECT_EQ(client.send(request, "k")->body, "c");
    EXPECT_EQ(transport.requests().size(), 3u);

    transport.play({ScriptedTransport::reply(503), ScriptedTransport::refused("reset"),
                    ScriptedTransport::refused("refused")});
    const auto held = client.send(request, "k");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->statusCode, 503);

    transport.play({ScriptedTransport::refused("one"), ScriptedTransport::refused("two"),
                    ScriptedTransport::refused("Failed to connect to 127.0.0.1 port 9")});
    EXPECT_EQ(client.send(request, "k").error(),
              CaptureError::network("Failed to connect to 127.0.0.1 port 9"));
}

TEST_F(ClientFixture, WithoutAKeyEachSendUsesOneFreshUUIDForAllItsAttempts) {
    transport.play({ScriptedTransport::reply(500), ScriptedTransport::reply(200),
                    ScriptedTransport::reply(200)});
    ASSERT_TRUE(client.send(request, std::nullopt));
    ASSERT_TRUE(client.send(request, std::nullopt));
    ASSERT_EQ(transport.requests().size(), 3u);
    const auto key = [&](std::size_t i) {
        return transport.requests()[i].headers.back().second;
    };
    EXPECT_TRUE(isUUIDString(key(0))) << key(0);
    EXPECT_EQ(key(0), key(1));
    EXPECT_NE(key(1), key(2));
}

TEST_F(ClientFixture, AStopDuringThePauseEndsTheSendWithoutFurtherRequests) {
    std::stop_source stop;
    sleeper.onSleep = [&] {
        stop.request_stop();
    };
    transport.play({ScriptedTransport::reply(503)});
    EXPECT_EQ(client.send(request, "k", stop.get_token())->statusCode, 503);
    EXPECT_EQ(transport.requests().size(), 1u);

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(client.send(request, "k", stopped.get_token()).error(),
              CaptureError::network("cancelled"));
    EXPECT_EQ(transport.requests().size(), 1u);
}

TEST(IngestResult, ReadsOnlyWellTypedFieldsOfTheReply) {
    const auto plain = IngestResult::parse(201, "not json");
    EXPECT_TRUE(plain.success);
    EXPECT_EQ(plain.body, "not json");
    EXPECT_FALSE(plain.id || plain.status || plain.route);

    const auto mistyped = IngestResult::parse(200, R"({"id":42,"category":7})");
    EXPECT_FALSE(mistyped.id || mistyped.category);
    EXPECT_EQ(IngestResult::parse(200, R"({"route":{"destination":"stash"}})").route, std::nullopt);
    const auto queued = IngestResult::parse(200, R"({"route":{"state":"queued","code":"ok"}})");
    ASSERT_TRUE(queued.route);
    EXPECT_EQ(queued.route->state, RouteOutcome::State::fromWire("queued"));
    EXPECT_EQ(queued.route->state.wireValue(), "queued");
    EXPECT_EQ(queued.route->code, "ok");
    EXPECT_EQ(IngestResult::parse(200, R"({"route":{"state":"not_live"}})").route->state.kind,
              RouteOutcome::StateKind::notLive);
    EXPECT_TRUE(IngestResult::parse(202, R"({"status":"parked_for_review"})").isParkedForReview());
    EXPECT_EQ(IngestResult::parse(500, "\xFF\xFE").body, "");
    EXPECT_FALSE(IngestResult::parse(302, "").success);
}

TEST_F(SuggestFixture, AsksOnceWithTheTrimmedItemAndDecodesTheReply) {
    CaptureItem shared = item("  call the plumber \n", {"home"});
    shared.url = "  https://example.com/a ";
    shared.screenshotDataURI = "data:image/jpeg;base64,AAAA";
    const auto suggestion = client.suggest(shared);
    ASSERT_TRUE(suggestion);
    EXPECT_EQ(suggestion->destination, Destination::docket);

    const auto requests = transport.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].timeout, 8s);
    EXPECT_EQ(requests[0].body, R"({"content":"call the plumber","url":"https://example.com/a",)"
                                R"("screenshot":"data:image/jpeg;base64,AAAA","tags":["home"]})");
    const HttpHeaders expected = {{"Content-Type", "application/json"},
                                  {"Authorization", "Bearer t"},
                                  {"apikey", *CaptureConfig::supabaseAnonKey()}};
    EXPECT_EQ(requests[0].headers, expected);

    ASSERT_TRUE(client.suggest(item(" \n ")));
    EXPECT_EQ(transport.requests().at(1).body, "{}"); // a blank item
}

// Without consent the engine asks nothing, as its test against the dev backend shows.
TEST_F(SuggestFixture, WithSuggestionsOffOrWithoutATokenNothingIsAsked) {
    AIConsent::setSuggestionsEnabled(false);
    EXPECT_FALSE(client.suggest(item("x")));
    EXPECT_EQ(token.timesAsked(), 0);
    AIConsent::setSuggestionsEnabled(true);

    FixedToken blank(" ");
    EXPECT_FALSE(SuggestClient(blank, transport).suggest(item("x")));
    EXPECT_TRUE(transport.requests().empty());
}

TEST_F(SuggestFixture, AnyFailedReplyMeansNoSuggestionAfterOneRequest) {
    status = 500;
    EXPECT_FALSE(client.suggest(item("x")));
    status = 200;
    for (const std::string unreadable : {"[1]", "<html>"}) {
        body = unreadable;
        EXPECT_FALSE(client.suggest(item("x"))) << body;
    }
    EXPECT_EQ(transport.requests().size(), 3u);

    ScriptedTransport offline{[](const HttpRequest&, std::stop_token) {
        return ScriptedTransport::refused("refused");
    }};
    EXPECT_FALSE(SuggestClient(token, offline).suggest(item("x")));
    EXPECT_EQ(offline.requests().size(), 1u);
}

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
