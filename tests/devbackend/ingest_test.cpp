// The ingest function: device-token check, idempotency, validation and the filing rules.

#include "support/backend_client.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace tarvo::test {
namespace {

using capturekit::Json;

constexpr const char* tinyJpeg = "data:image/jpeg;base64,/9j/4AAQSkZJRg==";

Json capture(const std::string& content) {
    return Json{{"content", content}, {"tags", Json::array()}};
}

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
    const Reply first = ingest(capture("first words"), "key-1");
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_TRUE(first.header("Idempotent-Replayed").empty());

    const Reply repeat = ingest(capture("changed words"), "key-1");
    EXPECT_EQ(repeat.status, 200);
    EXPECT_EQ(repeat.body, first.body);
    EXPECT_EQ(repeat.header("Idempotent-Replayed"), "true");

    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries()[0]["body"]["content"], "first words");
    EXPECT_EQ(entries()[0]["id"], first.json()["id"]);

    // Without a key, or with another one, each capture is filed.
    EXPECT_EQ(ingest(capture("no key")).status, 200);
    EXPECT_EQ(ingest(capture("no key")).status, 200);
    EXPECT_NE(ingest(capture("first words"), "key-2").json()["id"], first.json()["id"]);
    EXPECT_EQ(entries().size(), 4u);
}

TEST_F(IngestTest, KeysBelongToTheirUser) {
    const Account other = client.newAccount();
    const Reply mine = ingest(capture("mine"), "shared-key");
    const Reply theirs = client.ingest(other.deviceToken, capture("theirs"), "shared-key");
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
            id = own.ingest(account.deviceToken, capture("raced"), "race-key")
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
    Json wrongType = capture("x");
    wrongType["title"] = 3;
    Json nested = capture("x");
    nested["recipe"] = Json{{"title", "Soup"},
                            {"ingredients", Json::array({Json{{"qty", 1}}})},
                            {"steps", Json::array()}};
    Json nullValue = capture("x");
    nullValue["url"] = nullptr;
    Json unknownDestination = capture("x");
    unknownDestination["destination"] = "diary";
    Json unknownCategory = capture("x");
    unknownCategory["destination"] = "cabinet";
    unknownCategory["category"] = "stamps";
    Json strayCategory = capture("x");
    strayCategory["destination"] = "docket";
    strayCategory["category"] = "books";
    Json badImage = capture("x");
    badImage["screenshot"] = "https://example.test/cat.png";
    Json badDate = capture("x");
    badDate["make_task"] = true;
    badDate["task_due"] = "next tuesday";

    EXPECT_EQ(refusal(Json::array()), "400 invalid_body");
    EXPECT_EQ(refusal(Json{{"content", "no tags"}}), "400 invalid_body");
    EXPECT_EQ(refusal(Json{{"tags", Json::array()}}), "400 invalid_body");
    EXPECT_EQ(refusal(wrongType), "400 invalid_body");
    EXPECT_EQ(refusal(nested), "400 invalid_body");
    EXPECT_EQ(refusal(nullValue), "400 invalid_body");
    EXPECT_EQ(refusal(unknownDestination), "422 unknown_destination");
    EXPECT_EQ(refusal(unknownCategory), "422 unknown_category");
    EXPECT_EQ(refusal(strayCategory), "422 category_without_cabinet");
    EXPECT_EQ(refusal(badImage), "422 invalid_image");
    EXPECT_EQ(refusal(badDate), "422 invalid_date");
    EXPECT_EQ(refusal(capture(" \n ")), "422 empty_capture");
    const Reply notJson =
        client.send("POST", "/functions/v1/capture-ingest",
                    "{\"content\":", {{"Authorization", "Bearer " + account.deviceToken}});
    EXPECT_EQ(notJson.status, 400);
    EXPECT_TRUE(entries().empty());

    EXPECT_EQ(ingest(capture("now fine"), "retry-key").status, 200);
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(IngestTest, OnlyRegisteredDeviceTokensMayIngest) {
    EXPECT_EQ(client.post("/functions/v1/capture-ingest", capture("x")).status, 401);
    EXPECT_EQ(client.ingest(BackendClient::newDeviceToken(), capture("x")).status, 401);
    EXPECT_EQ(client.ingest(account.session.accessToken, capture("x")).status, 401);
    EXPECT_EQ(client.ingest(DevBackendProcess::anonymousKey(), capture("x")).status, 401);
    const Reply reply = client.ingest("", capture("x"));
    EXPECT_EQ(reply.status, 401);
    EXPECT_TRUE(reply.json()["error"].is_string());
    EXPECT_TRUE(entries().empty());
}

TEST_F(IngestTest, AddressedCapturesAreFiledWhereTheyCanGo) {
    Json task = capture("Pay the rent");
    task["destination"] = "docket";
    EXPECT_EQ(filing(ingest(task)), "200 filed docket route:written/docket");

    Json book = capture("Piranesi");
    book["destination"] = "cabinet";
    book["category"] = "books";
    EXPECT_EQ(filing(ingest(book)), "200 filed cabinet books route:written/cabinet");

    Json pulse = capture("a pulse thought");
    pulse["destination"] = "pulse";
    const Reply notLive = ingest(pulse);
    EXPECT_EQ(filing(notLive), "200 filed stash route:not_live/pulse");
    EXPECT_EQ(notLive.json()["route"]["code"], "not_live");

    Json bareHearth = capture("something for the house");
    bareHearth["destination"] = "hearth";
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
    EXPECT_EQ(filing(ingest(capture("remind me to call the dentist tomorrow"))),
              "200 filed docket route:written/docket");
    EXPECT_EQ(filing(ingest(capture("Preheat the oven, then 2 tbsp butter"))),
              "200 filed hearth recipe route:written/hearth");
    EXPECT_EQ(filing(ingest(capture("a thought about nothing in particular"))),
              "200 filed stash route:written/stash");
    Json optedOut = capture("remind me to call the dentist tomorrow");
    optedOut["ai_opt_out"] = true;
    EXPECT_EQ(filing(ingest(optedOut)), "200 filed stash route:written/stash");
    // A screenshot alone is enough to file.
    Json shot = capture("");
    shot["screenshot"] = tinyJpeg;
    EXPECT_EQ(filing(ingest(shot)), "200 filed stash route:written/stash");
}

TEST_F(IngestTest, AvatarsForUnknownPeopleAreParkedForReview) {
    client.send("PUT", "/__dev/users/" + account.session.userID + "/people",
                R"([{"id": "p-ada", "name": "Ada Lovelace"}])");
    Json avatar = capture("profile photo");
    avatar["destination"] = "rapport";
    avatar["rapport_avatar"] = true;
    avatar["screenshot"] = tinyJpeg;
    avatar["person_name"] = "Grace Hopper";
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
    Json task = capture("Pay the rent");
    task["destination"] = "docket";
    const Reply reply = ingest(task);
    EXPECT_EQ(filing(reply), "200 filed stash route:disabled/docket");
    EXPECT_EQ(reply.json()["route"]["code"], "app_disabled");

    Json reflection = capture("A quiet evening");
    reflection["destination"] = "bloom";
    EXPECT_EQ(filing(ingest(reflection)), "200 filed stash route:disabled/bloom");
    // Classified captures meet the same rule; stash itself is the floor and always takes them.
    EXPECT_EQ(filing(ingest(capture("remind me to pay the rent"))),
              "200 filed stash route:disabled/docket");
    EXPECT_EQ(filing(ingest(capture("plain"))), "200 filed stash route:written/stash");

    setApps(Json{{"docket", true}});
    EXPECT_EQ(filing(ingest(task)), "200 filed docket route:written/docket");
}

TEST(IngestLimitTest, BodiesOverTheLimitAreRefusedWith413) {
    DevBackendProcess backend({"--max-body", "2048"});
    BackendClient client(backend);
    const Account account = client.newAccount();
    EXPECT_EQ(client.ingest(account.deviceToken, capture(std::string(1900, 'a'))).status, 200);
    const Reply large = client.ingest(account.deviceToken, capture(std::string(4000, 'a')));
    EXPECT_EQ(large.status, 413);
    EXPECT_TRUE(large.json()["message"].is_string());
    // Far beyond the limit the HTTP layer refuses it before reading, still with JSON.
    const Reply huge = client.ingest(account.deviceToken, capture(std::string(3'000'000, 'a')));
    EXPECT_EQ(huge.status, 413);
    EXPECT_TRUE(huge.json()["message"].is_string());
    EXPECT_EQ(client.entries(account.session.userID).size(), 1u);
}

} // namespace
} // namespace tarvo::test
