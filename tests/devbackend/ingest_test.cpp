// The ingest function: device-token check, idempotency, validation and the filing rules.

#include "support/backend_client.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace tarvo::test {
namespace {

using capturekit::Json;

constexpr const char* tinyJpeg = "data:image/jpeg;base64,/9j/4AAQSkZJRg==";

class IngestTest : public testing::Test {
protected:
    DevBackendProcess backend;
    BackendClient client{backend};
    Account account = client.newAccount();

    Reply ingest(const Json& body, const std::optional<std::string>& key = std::nullopt) {
        return client.ingest(account.deviceToken, body, key);
    }

    Json entries() { return client.entries(account.session.userID); }

    void setApps(const Json& apps) {
        client.send("PUT", "/__dev/users/" + account.session.userID + "/apps",
                    capturekit::json::dump(apps));
    }
};

// The reply's disposition as "status destination [category] [route state]".
std::string filing(const Reply& reply) {
    const Json body = reply.json();
    std::string summary = std::to_string(reply.status) + " " + body.value("status", "?") + " " +
                          body.value("destination", "?");
    if (body.contains("category")) {
        summary += " " + body["category"].get<std::string>();
    }
    if (body.contains("route")) {
        summary += " route:" + body["route"].value("state", "?") + "/" +
                   body["route"].value("destination", "?");
    }
    return summary;
}

TEST_F(IngestTest, ARepeatedKeyFilesOnceAndRepeatsTheFirstReply) {
    const Reply first = ingest(captureBody("first words"), "key-1");
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_TRUE(first.header("Idempotent-Replayed").empty());

    const Reply repeat = ingest(captureBody("changed words"), "key-1");
    EXPECT_EQ(repeat.status, 200);
    EXPECT_EQ(repeat.body, first.body);
    EXPECT_EQ(repeat.header("Idempotent-Replayed"), "true");

    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries()[0]["body"]["content"], "first words");
    EXPECT_EQ(entries()[0]["id"], first.json()["id"]);

    // Without a key, or with another one, each capture is filed.
    EXPECT_EQ(ingest(captureBody("no key")).status, 200);
    EXPECT_EQ(ingest(captureBody("no key")).status, 200);
    EXPECT_NE(ingest(captureBody("first words"), "key-2").json()["id"], first.json()["id"]);
    EXPECT_EQ(entries().size(), 4u);
}

TEST_F(IngestTest, KeysBelongToTheirUser) {
    const Account other = client.newAccount();
    const Reply mine = ingest(captureBody("mine"), "shared-key");
    const Reply theirs = client.ingest(other.deviceToken, captureBody("theirs"), "shared-key");
    EXPECT_NE(mine.json()["id"], theirs.json()["id"]);
    EXPECT_EQ(entries().size(), 1u);
    EXPECT_EQ(client.entries(other.session.userID).size(), 1u);
}

TEST_F(IngestTest, ConcurrentRepeatsOfOneKeyFileOnce) {
    std::vector<std::string> ids(8);
    std::vector<std::thread> threads;
    for (auto& id : ids) {
        threads.emplace_back([&] {
            BackendClient own(backend);
            id = own.ingest(account.deviceToken, captureBody("raced"), "race-key")
                     .json()
                     .value("id", "");
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& id : ids) {
        EXPECT_EQ(id, ids.front());
    }
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(IngestTest, RefusedCapturesFileNothingAndTheirKeysStayUsable) {
    const auto refusal = [&](const Json& body) {
        const Reply reply = ingest(body, "retry-key");
        return std::to_string(reply.status) + " " + reply.json().value("code", "");
    };
    const Json recipe = {{"title", "Soup"},
                         {"ingredients", Json::array({Json{{"qty", 1}}})},
                         {"steps", Json::array()}};
    EXPECT_EQ(refusal(Json::array()), "400 invalid_body");
    EXPECT_EQ(refusal(Json{{"content", "no tags"}}), "400 invalid_body");
    EXPECT_EQ(refusal(Json{{"tags", Json::array()}}), "400 invalid_body");
    EXPECT_EQ(refusal(captureBody("x", {{"title", 3}})), "400 invalid_body");
    EXPECT_EQ(refusal(captureBody("x", {{"recipe", recipe}})), "400 invalid_body");
    EXPECT_EQ(refusal(captureBody("x", {{"url", nullptr}})), "400 invalid_body");
    EXPECT_EQ(refusal(captureBody("x", {{"destination", "diary"}})), "422 unknown_destination");
    EXPECT_EQ(refusal(captureBody("x", {{"destination", "cabinet"}, {"category", "stamps"}})),
              "422 unknown_category");
    EXPECT_EQ(refusal(captureBody("x", {{"destination", "docket"}, {"category", "books"}})),
              "422 category_without_cabinet");
    EXPECT_EQ(refusal(captureBody("x", {{"screenshot", "https://example.test/cat.png"}})),
              "422 invalid_image");
    EXPECT_EQ(refusal(captureBody("x", {{"make_task", true}, {"task_due", "next tuesday"}})),
              "422 invalid_date");
    EXPECT_EQ(refusal(captureBody(" \n ")), "422 empty_capture");
    const Reply notJson =
        client.send("POST", "/functions/v1/capture-ingest",
                    "{\"content\":", {{"Authorization", "Bearer " + account.deviceToken}});
    EXPECT_EQ(notJson.status, 400);
    EXPECT_TRUE(entries().empty());

    EXPECT_EQ(ingest(captureBody("now fine"), "retry-key").status, 200);
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(IngestTest, OnlyRegisteredDeviceTokensMayIngest) {
    EXPECT_EQ(client.post("/functions/v1/capture-ingest", captureBody("x")).status, 401);
    EXPECT_EQ(client.ingest(BackendClient::newDeviceToken(), captureBody("x")).status, 401);
    EXPECT_EQ(client.ingest(account.session.accessToken, captureBody("x")).status, 401);
    EXPECT_EQ(client.ingest(DevBackendProcess::anonymousKey(), captureBody("x")).status, 401);
    const Reply reply = client.ingest("", captureBody("x"));
    EXPECT_EQ(reply.status, 401);
    EXPECT_TRUE(reply.json()["error"].is_string());
    EXPECT_TRUE(entries().empty());
}

TEST_F(IngestTest, AddressedCapturesAreFiledWhereTheyCanGo) {
    EXPECT_EQ(filing(ingest(captureBody("Pay the rent", {{"destination", "docket"}}))),
              "200 filed docket route:written/docket");
    EXPECT_EQ(filing(ingest(
                  captureBody("Piranesi", {{"destination", "cabinet"}, {"category", "books"}}))),
              "200 filed cabinet books route:written/cabinet");
    const Reply notLive = ingest(captureBody("a pulse thought", {{"destination", "pulse"}}));
    EXPECT_EQ(filing(notLive), "200 filed stash route:not_live/pulse");
    EXPECT_EQ(notLive.json()["route"]["code"], "not_live");

    const Json bareHearth = captureBody("something for the house", {{"destination", "hearth"}});
    EXPECT_EQ(filing(ingest(bareHearth)), "200 filed stash route:failed/hearth");
    Json vendor = bareHearth;
    vendor["hearth_kind"] = "vendor";
    EXPECT_EQ(filing(ingest(vendor)), "200 filed hearth vendor route:written/hearth");
    Json groceries = bareHearth;
    groceries["grocery_items"] = Json::array({Json{{"name", "milk"}}});
    EXPECT_EQ(filing(ingest(groceries)), "200 filed hearth groceries route:written/hearth");

    const Json filed = entries();
    ASSERT_EQ(filed.size(), 6u);
    EXPECT_EQ(filed[2]["requested_destination"], "pulse");
    EXPECT_EQ(filed[2]["destination"], "stash");
    EXPECT_EQ(filed[2]["body"]["content"], "a pulse thought");
}

TEST_F(IngestTest, CapturesWithoutADestinationAreClassifiedUnlessAIIsRefused) {
    EXPECT_EQ(filing(ingest(captureBody("remind me to call the dentist tomorrow"))),
              "200 filed docket route:written/docket");
    EXPECT_EQ(filing(ingest(captureBody("Preheat the oven, then 2 tbsp butter"))),
              "200 filed hearth recipe route:written/hearth");
    EXPECT_EQ(filing(ingest(captureBody("a thought about nothing in particular"))),
              "200 filed stash route:written/stash");
    EXPECT_EQ(filing(ingest(
                  captureBody("remind me to call the dentist tomorrow", {{"ai_opt_out", true}}))),
              "200 filed stash route:written/stash");
    // A screenshot alone is enough to file.
    EXPECT_EQ(filing(ingest(captureBody("", {{"screenshot", tinyJpeg}}))),
              "200 filed stash route:written/stash");
}

TEST_F(IngestTest, AvatarsForUnknownPeopleAreParkedForReview) {
    client.send("PUT", "/__dev/users/" + account.session.userID + "/people",
                R"([{"id": "p-ada", "name": "Ada Lovelace"}])");
    Json avatar = captureBody("profile photo", {{"destination", "rapport"},
                                                {"rapport_avatar", true},
                                                {"screenshot", tinyJpeg},
                                                {"person_name", "Grace Hopper"}});
    EXPECT_EQ(filing(ingest(avatar)), "200 parked_for_review rapport avatar");

    avatar["person_name"] = " ada lovelace ";
    EXPECT_EQ(filing(ingest(avatar)), "200 filed rapport avatar route:written/rapport");
    avatar.erase("person_name");
    avatar["person_id"] = "p-ada";
    EXPECT_EQ(filing(ingest(avatar)), "200 filed rapport avatar route:written/rapport");

    Json withoutImage = avatar;
    withoutImage.erase("screenshot");
    EXPECT_EQ(ingest(withoutImage).json()["code"], "avatar_without_image");
    Json elsewhere = avatar;
    elsewhere["destination"] = "docket";
    EXPECT_EQ(ingest(elsewhere).status, 422);
}

TEST_F(IngestTest, SwitchedOffAppsSendCapturesToStash) {
    setApps(Json{{"docket", false}, {"diary", false}, {"stash", false}});
    const Json task = captureBody("Pay the rent", {{"destination", "docket"}});
    const Reply reply = ingest(task);
    EXPECT_EQ(filing(reply), "200 filed stash route:disabled/docket");
    EXPECT_EQ(reply.json()["route"]["code"], "app_disabled");

    EXPECT_EQ(filing(ingest(captureBody("A quiet evening", {{"destination", "bloom"}}))),
              "200 filed stash route:disabled/bloom");
    // Classified captures meet the same rule; stash itself is the floor and always takes them.
    EXPECT_EQ(filing(ingest(captureBody("remind me to pay the rent"))),
              "200 filed stash route:disabled/docket");
    EXPECT_EQ(filing(ingest(captureBody("plain"))), "200 filed stash route:written/stash");

    setApps(Json{{"docket", true}});
    EXPECT_EQ(filing(ingest(task)), "200 filed docket route:written/docket");
}

TEST(IngestLimitTest, BodiesOverTheLimitAreRefusedWith413) {
    DevBackendProcess backend({"--max-body", "2048"});
    BackendClient client(backend);
    const Account account = client.newAccount();
    EXPECT_EQ(client.ingest(account.deviceToken, captureBody(std::string(1900, 'a'))).status, 200);
    const Reply large = client.ingest(account.deviceToken, captureBody(std::string(4000, 'a')));
    EXPECT_EQ(large.status, 413);
    EXPECT_TRUE(large.json()["message"].is_string());
    // Far beyond the limit the HTTP layer refuses it before reading, still with JSON.
    const Reply huge = client.ingest(account.deviceToken, captureBody(std::string(3'000'000, 'a')));
    EXPECT_EQ(huge.status, 413);
    EXPECT_TRUE(huge.json()["message"].is_string());
    EXPECT_EQ(client.entries(account.session.userID).size(), 1u);
}

} // namespace
} // namespace tarvo::test
