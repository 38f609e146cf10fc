#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/platform/uuid.hpp>

#include "support/fixed_token.hpp"
#include "support/recording_sleeper.hpp"
#include "support/scripted_transport.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace capturekit;
using tarvo::test::FixedToken;
using tarvo::test::RecordingSleeper;
using tarvo::test::ScriptedTransport;
using namespace std::chrono_literals;

namespace {

struct ClientFixture : testing::Test {
    FixedToken token{"  device-token \n"};
    ScriptedTransport transport;
    RecordingSleeper sleeper;
    CaptureClient client{token, transport, sleeper};
    CaptureIngestRequest request{{.content = "hello", .tags = {"desktop"}}};
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

TEST_F(ClientFixture, NoTokenOrAnUnencodableRequestMakesNoRequest) {
    FixedToken blank(" \n\t");
    FixedToken none(std::nullopt);
    for (FixedToken* missing : {&blank, &none}) {
        EXPECT_EQ(CaptureClient(*missing, transport, sleeper).send(request, "k").error(),
                  CaptureError::missingToken());
    }
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
