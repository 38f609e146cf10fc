// CaptureClient against the dev backend over real HTTP.

#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"

#include <capturekit/delivery/capture_client.hpp>

#include "support/fixed_token.hpp"

#include <gtest/gtest.h>

using namespace capturekit;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;
using tarvo::test::FixedToken;

namespace {

auto* const environment = DevBackendEnvironment::install();

struct DeliveryAgainstBackend : testing::Test {
    BackendClient backend{DevBackendEnvironment::backend()};
    tarvo::test::Account account = backend.newAccount();
    FixedToken token{account.deviceToken};
    CaptureClient client{token};

    std::size_t ingestCalls() { return backend.requests("/functions/v1/capture-ingest").size(); }
};

} // namespace

TEST_F(DeliveryAgainstBackend, TheSameKeyFilesOneEntryAndGetsTheSameReply) {
    const CaptureIngestRequest request{
        {.destination = Destination::docket, .content = "water the plants", .tags = {"desktop"}}};
    const auto first = client.send(request, "client-key-1");
    const auto again = client.send(request, "client-key-1");
    ASSERT_TRUE(first) << first.error().description();
    ASSERT_TRUE(again) << again.error().description();
    EXPECT_TRUE(first->success);
    EXPECT_EQ(first->destination, "docket");
    ASSERT_TRUE(first->id);
    EXPECT_EQ(again->id, first->id);
    EXPECT_EQ(backend.entries(account.session.userID).size(), 1u);
}

TEST_F(DeliveryAgainstBackend, ServerErrorsAreRetriedThreeTimesAndRefusalsSentOnce) {
    std::size_t before = ingestCalls();
    backend.addFault({{"path", "/functions/v1/capture-ingest"}, {"count", 3}, {"status", 503}});
    const auto unavailable = client.send(CaptureIngestRequest{{.content = "x"}}, "k-503");
    ASSERT_TRUE(unavailable);
    EXPECT_EQ(unavailable->statusCode, 503);
    EXPECT_FALSE(unavailable->success);
    EXPECT_EQ(ingestCalls() - before, 3u);

    CaptureIngestRequest unknownDestination{{.content = "x"}};
    unknownDestination.destination = "nowhere";
    before = ingestCalls();
    const auto refused = client.send(unknownDestination, "k-422");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->statusCode, 422);
    EXPECT_EQ(ingestCalls() - before, 1u);

    FixedToken unknownToken("vlt_not-registered");
    before = ingestCalls();
    const auto unauthorised =
        CaptureClient(unknownToken).send(CaptureIngestRequest{{.content = "x"}}, "k-401");
    ASSERT_TRUE(unauthorised);
    EXPECT_EQ(unauthorised->statusCode, 401);
    EXPECT_EQ(ingestCalls() - before, 1u);
    EXPECT_EQ(backend.entries(account.session.userID).size(), 0u);
}

TEST_F(DeliveryAgainstBackend, DroppedConnectionsEndInANetworkErrorWithTheTransportsText) {
    // More faults than attempts: libcurl itself resends once when a reused connection dies.
    backend.addFault({{"path", "/functions/v1/capture-ingest"}, {"count", 10}, {"drop", true}});
    const auto dropped = client.send(CaptureIngestRequest{{.content = "x"}}, "k-drop");
    ASSERT_FALSE(dropped);
    EXPECT_EQ(dropped.error().kind, CaptureError::Kind::network);
    EXPECT_NE(dropped.error().description().find("reply"), std::string::npos)
        << dropped.error().description();
    EXPECT_EQ(backend.entries(account.session.userID).size(), 0u);
}
