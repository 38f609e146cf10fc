#include "support/account_sandbox.hpp"
#include "support/fixed_token.hpp"
#include "support/scripted_transport.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/delivery/suggest_client.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::FixedToken;
using tarvo::test::ScriptedTransport;

namespace {

struct SuggestFixture : testing::Test {
    tarvo::test::AccountSandbox sandbox;
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

} // namespace

TEST_F(SuggestFixture, AsksOnceWithTheTrimmedItemAndDecodesTheReply) {
    CaptureItem shared = item("  call the plumber \n", {"home"});
    shared.url = "  https://example.com/a ";
    shared.screenshotDataURI = "data:image/jpeg;base64,AAAA";
    const auto suggestion = client.suggest(shared);
    ASSERT_TRUE(suggestion);
    EXPECT_EQ(suggestion->destination, Destination::docket);

    const auto requests = transport.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url, CaptureConfig::suggestURL());
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
