// The outbox against the dev backend over real HTTP: faults, refusals and stalls.

#include "support/account_sandbox.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"
#include "support/fixed_token.hpp"
#include "support/recording_sleeper.hpp"

#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/uuid.hpp>

#include <gtest/gtest.h>

#include <set>

using namespace capturekit;
using namespace std::chrono_literals;
using namespace tarvo::test;

namespace {

auto* const environment = DevBackendEnvironment::install();

constexpr std::string_view ingestPath = "/functions/v1/capture-ingest";

// The shared session with a short timeout, so that a delayed reply counts as a transport failure
// without waiting half a minute.
struct ShortTimeoutSession final : HttpTransport {
    explicit ShortTimeoutSession(std::chrono::milliseconds wait) : timeout(wait) {}
    std::chrono::milliseconds timeout;
    std::expected<HttpResponse, HttpError> perform(const HttpRequest& request,
                                                   std::stop_token stop) override {
        HttpRequest shortened = request;
        shortened.timeout = timeout;
        return HttpSession::shared().perform(shortened, stop);
    }
};

struct OutboxAgainstBackend : testing::Test {
    AccountSandbox sandbox;
    BackendClient backend{DevBackendEnvironment::backend()};
    Account account = backend.newAccount();
    FixedToken token{account.deviceToken};
    ShortTimeoutSession session{250ms};
    RecordingSleeper sleeper;
    CaptureClient client{token, session, sleeper};
    const std::string keyPrefix = makeUUIDString() + "-";

    void SetUp() override {
        std::filesystem::create_directory(sandbox.folder() / "outbox");
        CaptureOutbox::setDirectoryOverride(sandbox.folder() / "outbox");
    }
    void TearDown() override {
        backend.send("DELETE", "/__dev/faults");
        CaptureOutbox::setDirectoryOverride(std::nullopt);
    }

    // Calls carrying this test's keys: a delayed call of an earlier test may still be logged.
    std::size_t ingestCalls() {
        std::size_t count = 0;
        for (const auto& call : backend.requests(std::string(ingestPath))) {
            for (const auto& [name, value] : call["headers"].items()) {
                const bool isKey = text::lowercased(name) == "idempotency-key";
                count += isKey && value.get<std::string>().starts_with(keyPrefix) ? 1 : 0;
            }
        }
        return count;
    }

    // A fault of the ingest call, injected before the capture is handled or "after" it.
    void addFault(Json rule, std::string_view phase = "before") {
        rule["path"] = ingestPath;
        rule["phase"] = phase;
        backend.addFault(rule);
    }
    void fail(int status, int count) { addFault({{"count", count}, {"status", status}}); }

    bool queue(const std::string& text, const std::string& key) const {
        const CaptureIngestRequest request{
            {.destination = Destination::stash, .content = text, .tags = {"desktop"}}};
        return CaptureOutbox::enqueue(request, keyPrefix + key, Destination::stash, text);
    }

    void expectOnlyPending(const std::string& key, const std::string& error, int attempts) const {
        const auto items = CaptureOutbox::pending();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].idempotencyKey, keyPrefix + key);
        EXPECT_EQ(items[0].lastError, error);
        EXPECT_EQ(items[0].attempts, attempts);
    }
};

} // namespace

TEST_F(OutboxAgainstBackend, AHundredCapturesThroughAThirdOfFailedCallsArriveExactlyOnce) {
    constexpr int captures = 100;
    for (int i = 0; i < captures; ++i) {
        ASSERT_TRUE(queue("capture " + std::to_string(i), "fault-key-" + std::to_string(i)));
    }
    // Before the capture is handled: 503s, then dropped connections, then replies slower than
    // the client waits. After it is handled (filed, reply lost): drops, then slow replies.
    addFault({{"count", 40}, {"probability", 0.2}, {"seed", 11}, {"status", 503}});
    addFault({{"count", 40}, {"probability", 0.2}, {"seed", 12}, {"drop", true}});
    addFault({{"unlimited", true}, {"probability", 0.2}, {"seed", 13}, {"delay_ms", 600}});
    addFault({{"count", 60}, {"probability", 0.15}, {"seed", 14}, {"drop", true}}, "after");
    addFault({{"unlimited", true}, {"probability", 0.15}, {"seed", 15}, {"delay_ms", 600}},
             "after");
    backend.send("DELETE", "/__dev/requests");

    int flushes = 0;
    int delivered = 0;
    while (CaptureOutbox::pendingCount() > 0 && flushes < 30) {
        delivered += CaptureOutbox::flush(client, false, std::nullopt);
        ++flushes;
    }
    EXPECT_EQ(CaptureOutbox::pendingCount(), 0u);
    EXPECT_EQ(delivered, captures);

    const auto entries = backend.entries(account.session.userID);
    std::multiset<std::string> contents;
    for (const auto& entry : entries) {
        contents.insert(entry["body"].value("content", std::string()));
    }
    EXPECT_EQ(entries.size(), static_cast<std::size_t>(captures));
    for (int i = 0; i < captures; ++i) {
        EXPECT_EQ(contents.count("capture " + std::to_string(i)), 1u) << i;
    }

    EXPECT_GT(backend.requests(std::string(ingestPath)).size(), static_cast<std::size_t>(captures));
}

TEST_F(OutboxAgainstBackend, RefusalsDeleteTheItemAndOtherFailuresKeepItWithTheirReason) {
    CaptureIngestRequest unknownDestination{{.content = "to nowhere"}};
    unknownDestination.destination = "nowhere";
    ASSERT_TRUE(CaptureOutbox::enqueue(unknownDestination, keyPrefix + "refusal-422",
                                       Destination::stash, "x"));
    auto before = ingestCalls();
    EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 0);
    EXPECT_EQ(ingestCalls() - before, 1u);
    EXPECT_EQ(CaptureOutbox::pendingCount(), 0u);

    for (const int status : {400, 413}) {
        ASSERT_TRUE(queue("refused", "refusal-" + std::to_string(status)));
        fail(status, 1);
        EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 0);
        EXPECT_EQ(CaptureOutbox::pendingCount(), 0u) << status;
    }

    ASSERT_TRUE(queue("kept", "kept-key"));
    FixedToken unregistered("vlt_never-registered");
    before = ingestCalls();
    EXPECT_EQ(
        CaptureOutbox::flush(CaptureClient(unregistered, session, sleeper), false, std::nullopt),
        0);
    EXPECT_EQ(ingestCalls() - before, 1u);
    expectOnlyPending("kept-key", "not authorised (401) — sign in again to set this device up", 1);

    fail(403, 1);
    CaptureOutbox::flush(client, false, std::nullopt);
    fail(429, 1);
    CaptureOutbox::flush(client, false, std::nullopt);
    expectOnlyPending("kept-key", "rate limited (429)", 3);

    // Each server error costs three requests with pauses of 0.7 s and 1.4 s.
    sleeper.pauses.clear();
    before = ingestCalls();
    fail(503, 3);
    CaptureOutbox::flush(client, false, std::nullopt);
    EXPECT_EQ(ingestCalls() - before, 3u);
    EXPECT_EQ(sleeper.pauses, (std::vector<std::chrono::milliseconds>{700ms, 1400ms}));
    expectOnlyPending("kept-key", "server 503", 4);
    EXPECT_EQ(backend.entries(account.session.userID).size(), 0u);
}

TEST_F(OutboxAgainstBackend, EightFailuresStallAnItemUntilAForcedFlushDeliversIt) {
    ASSERT_TRUE(queue("stubborn", "stall-key"));
    for (int round = 1; round <= CaptureOutbox::stallAttempts; ++round) {
        fail(round % 2 == 0 ? 502 : 500, CaptureClient::maxAttempts);
        EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 0);
    }
    EXPECT_EQ(CaptureOutbox::stalledCount(), 1u);
    expectOnlyPending("stall-key", "server 502", CaptureOutbox::stallAttempts);

    const auto before = ingestCalls();
    EXPECT_EQ(CaptureOutbox::flush(client, false, std::nullopt), 0);
    EXPECT_EQ(ingestCalls(), before);
    EXPECT_EQ(CaptureOutbox::pendingCount(), 1u);

    EXPECT_EQ(CaptureOutbox::flush(client, true, std::nullopt), 1);
    EXPECT_EQ(CaptureOutbox::pendingCount(), 0u);
    const auto entries = backend.entries(account.session.userID);
    ASSERT_EQ(entries.size(), 1u);
    const auto recents = SharedState::recent();
    ASSERT_FALSE(recents.empty());
    EXPECT_EQ(recents.front().title, "stubborn");
    EXPECT_EQ(recents.front().entryID, entries[0]["id"].get<std::string>());
}
