// Injected faults and the request log.

#include "devbackend/shorthands.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tarvo::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* ingestPath = "/functions/v1/capture-ingest";

class FaultsTest : public AccountTest {
protected:
    Reply ingest(const std::string& content, const std::optional<std::string>& key = {}) {
        return client.ingest(account.deviceToken, captureBody(content), key);
    }

    Reply suggest() {
        return client.postWithBearer("/functions/v1/capture-suggest", account.deviceToken,
                                     Json::object());
    }

    std::size_t entryCount() { return client.entries(account.session.userID).size(); }
};

TEST_F(FaultsTest, AFixedReplyServesTheNextCallsThenTheRealOneReturns) {
    client.addFault(Json{{"path", ingestPath},
                         {"count", 2},
                         {"status", 503},
                         {"body", Json{{"message", "busy"}}},
                         {"headers", Json{{"Retry-After", "3"}}}});
    for (int call = 0; call < 2; ++call) {
        const Reply reply = ingest("try");
        EXPECT_EQ(reply.status, 503);
        EXPECT_EQ(reply.json()["message"], "busy");
        EXPECT_EQ(reply.header("Retry-After"), "3");
    }
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_EQ(ingest("try").status, 200);
    EXPECT_EQ(entryCount(), 1u);

    // An empty body stays empty.
    client.addFault(Json{{"path", "/auth/v1/token"}, {"status", 401}, {"body", ""}});
    const Reply empty = client.refresh(account.session.refreshToken);
    EXPECT_EQ(empty.status, 401);
    EXPECT_TRUE(empty.body.empty());
}

TEST_F(FaultsTest, FaultsMatchTheirMethodAndPathPattern) {
    client.addFault(Json{{"path", "/functions/v1/*"}, {"method", "POST"}, {"status", 500}});
    client.addFault(
        Json{{"path", "/rest/v1/rpc/apps_enabled"}, {"method", "GET"}, {"status", 500}});
    EXPECT_EQ(client
                  .postWithBearer("/rest/v1/rpc/apps_enabled", account.session.accessToken,
                                  Json{{"p_keys", {"stash"}}})
                  .status,
              200);
    EXPECT_EQ(suggest().status, 500);
    EXPECT_EQ(client.send("GET", "/__dev/faults").json().size(), 1u);
    EXPECT_EQ(client.send("DELETE", "/__dev/faults").status, 204);
    EXPECT_EQ(client.send("GET", "/__dev/faults").json(), Json::array());
}

TEST_F(FaultsTest, ADelayedCallOutlastsAShortTimeoutAndItsRetryFilesNothingTwice) {
    client.addFault(Json{{"path", ingestPath}, {"delay_ms", 600}});
    client.setTimeout(200ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ingest("slow", "slow-key").status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 550ms);

    // The retry overtakes the delayed call, which then finds the key taken.
    client.setTimeout(5s);
    const Reply retry = ingest("slow", "slow-key");
    EXPECT_EQ(retry.status, 200);
    std::this_thread::sleep_until(start + 800ms);
    EXPECT_EQ(entryCount(), 1u);
    EXPECT_EQ(ingest("slow", "slow-key").body, retry.body);
}

TEST_F(FaultsTest, DroppedConnectionsGiveNoReply) {
    client.addFault(Json{{"path", ingestPath}, {"drop", true}});
    EXPECT_EQ(ingest("lost", "drop-key").status, 0);
    EXPECT_EQ(entryCount(), 0u) << "dropped before handling: nothing filed";

    // Dropped after handling: filed, the reply lost, and the retry with the same key answered
    // with the first reply.
    client.addFault(Json{{"path", ingestPath}, {"drop", true}, {"phase", "after"}});
    EXPECT_EQ(ingest("filed", "after-key").status, 0);
    EXPECT_EQ(entryCount(), 1u);
    const Reply retry = ingest("filed", "after-key");
    EXPECT_EQ(retry.status, 200);
    EXPECT_EQ(retry.header("Idempotent-Replayed"), "true");
    EXPECT_EQ(entryCount(), 1u);

    const Json log = client.requests(ingestPath);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0]["outcome"], "dropped");
    EXPECT_EQ(log[1]["outcome"], "dropped");
    EXPECT_EQ(log[2]["outcome"], "replied");
}

TEST_F(FaultsTest, ASeededProbabilityFailsARepeatableShareOfCalls) {
    const auto failures = [&] {
        client.send("DELETE", "/__dev/faults");
        client.addFault(Json{{"path", "/functions/v1/capture-suggest"},
                             {"unlimited", true},
                             {"probability", 1.0 / 3},
                             {"seed", 7},
                             {"status", 503}});
        std::string pattern;
        for (int call = 0; call < 60; ++call) {
            pattern += suggest().status == 503 ? 'x' : '.';
        }
        return pattern;
    };
    const std::string first = failures();
    const auto failed = std::count(first.begin(), first.end(), 'x');
    EXPECT_GT(failed, 8) << first;
    EXPECT_LT(failed, 32) << first;
    EXPECT_EQ(failures(), first);
}

TEST_F(FaultsTest, BadFaultDescriptionsAreRefused) {
    for (const Json& fault :
         {Json{{"status", 503}}, Json{{"path", "/x"}}, Json{{"path", "/x"}, {"status", 99}},
          Json{{"path", "/x"}, {"status", 503}, {"drop", true}},
          Json{{"path", "/x"}, {"drop", true}, {"probability", 0}},
          Json{{"path", "/x"}, {"drop", true}, {"count", 0}},
          Json{{"path", "/x"}, {"drop", true}, {"phase", "during"}}}) {
        const Reply reply = client.send("POST", "/__dev/faults", capturekit::json::dump(fault));
        EXPECT_EQ(reply.status, 400) << fault;
        EXPECT_TRUE(reply.json()["error"].is_string());
    }
}

TEST_F(FaultsTest, TheRequestLogShowsWhatClientsSent) {
    client.send("DELETE", "/__dev/requests");
    ingest("logged words", "log-key");
    const Json log = client.requests("/functions/");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0]["method"], "POST");
    EXPECT_EQ(log[0]["path"], ingestPath);
    EXPECT_EQ(log[0]["status"], 200);
    EXPECT_EQ(log[0]["headers"]["Idempotency-Key"], "log-key");
    EXPECT_EQ(Json::parse(log[0]["body"].get<std::string>()), captureBody("logged words"));
    // Development calls are not logged.
    EXPECT_TRUE(client.requests("/__dev").empty());

    // Credentials never reach the log: bearer tokens, passwords, refresh tokens.
    EXPECT_EQ(log[0]["headers"]["Authorization"], "[redacted]");
    client.signIn(account.session.email, "correct horse");
    client.refresh(account.session.refreshToken);
    const Json grants = client.requests("/auth/v1/token");
    ASSERT_EQ(grants.size(), 2u);
    EXPECT_EQ(Json::parse(grants[0]["body"].get<std::string>()),
              (Json{{"email", account.session.email}, {"password", "[redacted]"}}));
    EXPECT_EQ(Json::parse(grants[1]["body"].get<std::string>()),
              (Json{{"refresh_token", "[redacted]"}}));
    client.send("POST", "/auth/v1/token?grant_type=password", R"({"password": "half)");
    EXPECT_EQ(client.requests("/auth/v1/token").back()["body"], "[redacted]");

    // Of a large body the log keeps the first 64 KiB and the whole size.
    client.ingest(account.deviceToken, captureBody(std::string(1'500'000, 'a')));
    const Json large = client.requests(ingestPath).back();
    EXPECT_GT(large["body_size"].get<int>(), 1'500'000);
    EXPECT_TRUE(large["body_truncated"].get<bool>());
    EXPECT_EQ(large["body"].get<std::string>().size(), 64u * 1024u);
}

} // namespace
} // namespace tarvo::test
