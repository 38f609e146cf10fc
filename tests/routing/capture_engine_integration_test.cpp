// The capture engine end to end against the dev backend over real HTTP.

#include "support/account_sandbox.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"
#include "support/fixed_token.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/routing/capture_engine.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

namespace capturekit {
void PrintTo(const CaptureOutcome& outcome, std::ostream* out) {
    *out << "{" << outcome.success << ", " << rawValue(outcome.destination) << ", \""
         << outcome.message << "\"}";
}
} // namespace capturekit
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;
using tarvo::test::FixedToken;

namespace {

auto* const environment = DevBackendEnvironment::install();

struct EngineAgainstBackend : testing::Test {
    tarvo::test::AccountSandbox sandbox;
    BackendClient backend{DevBackendEnvironment::backend()};
    tarvo::test::Account account = backend.newAccount();
    FixedToken deviceToken{account.deviceToken};
    CaptureClient client{deviceToken};
    SuggestClient suggestClient{deviceToken};

    void SetUp() override {
        std::filesystem::create_directory(sandbox.folder() / "outbox");
        CaptureOutbox::setDirectoryOverride(sandbox.folder() / "outbox");
    }
    void TearDown() override { CaptureOutbox::setDirectoryOverride(std::nullopt); }

    CaptureOutcome capture(std::string text, CaptureSurface surface = CaptureSurface::captureIntent,
                           std::vector<std::string> tags = {}) {
        const CaptureItem item{
            .text = std::move(text), .surface = surface, .tags = std::move(tags)};
        return CaptureEngine::capture(item, client, &suggestClient, std::string(DeviceInfo::name));
    }
    Json lastEntryBody() {
        const Json entries = backend.entries(account.session.userID);
        return entries.empty() ? Json() : entries.back().value("body", Json());
    }
    void failNextIngest(const Json& fault) {
        Json full = fault;
        full["path"] = "/functions/v1/capture-ingest";
        backend.addFault(full);
    }
};

} // namespace

TEST_F(EngineAgainstBackend, ConsentDecidesTheOptOutAndWhetherSuggestionsAreAsked) {
    capture("a thought");
    EXPECT_EQ(lastEntryBody().value("ai_opt_out", false), true);
    EXPECT_TRUE(backend.requests("/functions/v1/capture-suggest").empty());

    AIConsent::record(true);
    capture("another thought");
    EXPECT_FALSE(lastEntryBody().contains("ai_opt_out"));
    EXPECT_EQ(backend.requests("/functions/v1/capture-suggest").size(), 1u);
}

// Routing, 503s and refusals are worded in the command line's tests; a dropped call is a network
// failure, queued under its code 0 and delivered later.
TEST_F(EngineAgainstBackend, ADroppedCallIsQueuedAndAFlushDeliversItOnce) {
    failNextIngest({{"count", 10}, {"drop", true}});
    const auto dropped = capture("y");
    EXPECT_TRUE(dropped.success);
    EXPECT_TRUE(dropped.message.starts_with("Queued (0 ")) << dropped.message;
    EXPECT_TRUE(dropped.message.ends_with(") — it’ll send when it can.")) << dropped.message;
    backend.send("DELETE", "/__dev/faults");
    ASSERT_EQ(CaptureOutbox::pendingCount(), 1u);
    EXPECT_EQ(CaptureOutbox::flush(client, true, std::nullopt), 1);
    EXPECT_EQ(backend.entries(account.session.userID).size(), 1u);
}

TEST_F(EngineAgainstBackend, ParkedRepliesAndBouncesAreWorded) {
    failNextIngest({{"status", 200}, {"body", Json{{"status", "parked_for_review"}, {"id", "e"}}}});
    EXPECT_EQ(capture("x", CaptureSurface::rapportNoteIntent),
              (CaptureOutcome{true, Destination::rapport, "Sent to rapport — needs a person."}));

    const auto bounced = capture("flour and eggs", CaptureSurface::captureIntent, {"hearth"});
    EXPECT_TRUE(bounced.success);
    EXPECT_EQ(bounced.destination, Destination::stash);
    EXPECT_EQ(bounced.message,
              "No recipe content found. Saved to stash for adding and passing to hearth.");

    failNextIngest({{"status", 200}, {"body", Json{{"id", "e2"}}}});
    EXPECT_EQ(
        capture("x", CaptureSurface::quickTaskWidget),
        (CaptureOutcome{true, Destination::stash, "Saved to stash — docket couldn’t take it."}));

    // A failed route is worded from the request, never with the server's error text.
    failNextIngest(
        {{"status", 200},
         {"body", Json{{"id", "e3"},
                       {"destination", "docket"},
                       {"route", {{"state", "failed"}, {"code", "E1"}, {"error", "db down"}}}}}});
    EXPECT_EQ(
        capture("x", CaptureSurface::quickTaskWidget),
        (CaptureOutcome{true, Destination::stash, "Saved to stash — docket couldn’t take it."}));
}

TEST_F(EngineAgainstBackend, ACaptureThatCannotBeKeptIsNotReportedAsQueued) {
    CaptureOutbox::setDirectoryOverride(sandbox.folder() / "missing" / "outbox");
    failNextIngest({{"count", 3}, {"status", 503}});
    EXPECT_EQ(capture("x"),
              (CaptureOutcome{false, Destination::stash,
                              "Couldn’t send (server 503) and couldn’t keep it to send later."}));
}
