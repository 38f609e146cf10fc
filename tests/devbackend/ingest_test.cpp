// The ingest function: device-token check, idempotency, validation and the filing rules.

#include "devbackend/shorthands.hpp"

namespace tarvo::test {
namespace {

constexpr const char* ingestPath = "/functions/v1/capture-ingest";
constexpr const char* tinyJpeg = "data:image/jpeg;base64,/9j/4AAQSkZJRg==";

// The reply's disposition as "status destination [category] [route state/destination]", with
// "?" for what is missing (as in a refusal).
std::string filing(const Reply& reply) {
    const Json body = reply.json();
    std::string summary = body.value("status", "?") + " " + body.value("destination", "?");
    if (body.contains("category")) {
        summary += " " + body["category"].get<std::string>();
    }
    if (body.contains("route")) {
        summary +=
            " " + body["route"].value("state", "?") + "/" + body["route"].value("destination", "?");
    }
    return summary;
}

class IngestTest : public AccountTest {
protected:
    Reply ingest(const Json& body, const std::optional<std::string>& key = std::nullopt) {
        return client.ingest(account.deviceToken, body, key);
    }

    Json entries() { return client.entries(account.session.userID); }

    std::string file(const std::string& content, const Json& members = Json::object()) {
        return filing(ingest(captureBody(content, members)));
    }

    void setApps(const Json& apps) {
        client.send("PUT", "/__dev/users/" + account.session.userID + "/apps",
                    capturekit::json::dump(apps));
    }
};

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
    const auto ids = inParallel(backend, 8, [&](BackendClient& own) {
        return own.ingest(account.deviceToken, captureBody("raced"), "race-key")
            .json()
            .value("id", "");
    });
    EXPECT_THAT(ids, testing::Each(ids.front()));
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(IngestTest, RefusedCapturesFileNothingAndTheirKeysStayUsable) {
    const Json recipe = {{"title", "Soup"},
                         {"ingredients", Json::array({Json{{"qty", 1}}})},
                         {"steps", Json::array()}};
    const struct {
        Json body;
        const char* refusal; // status and code
    } refused[] = {
        {Json::array(), "400 invalid_body"},
        {Json{{"content", "no tags"}}, "400 invalid_body"},
        {Json{{"tags", Json::array()}}, "400 invalid_body"},
        {captureBody("x", {{"title", 3}}), "400 invalid_body"},
        {captureBody("x", {{"recipe", recipe}}), "400 invalid_body"},
        {captureBody("x", {{"url", nullptr}}), "400 invalid_body"},
        {captureBody("x", {{"destination", "diary"}}), "422 unknown_destination"},
        {captureBody("x", {{"destination", "cabinet"}, {"category", "stamps"}}),
         "422 unknown_category"},
        {captureBody("x", {{"destination", "docket"}, {"category", "books"}}),
         "422 category_without_cabinet"},
        {captureBody("x", {{"screenshot", "https://example.test/cat.png"}}), "422 invalid_image"},
        {captureBody("x", {{"make_task", true}, {"task_due", "next tuesday"}}), "422 invalid_date"},
        {captureBody(" \n "), "422 empty_capture"},
    };
    for (const auto& [body, refusal] : refused) {
        const Reply reply = ingest(body, "retry-key");
        EXPECT_EQ(std::to_string(reply.status) + " " + reply.json().value("code", ""), refusal);
    }
    const std::string notJson = "{\"content\":";
    EXPECT_EQ(client.send("POST", ingestPath, notJson, bearer(account.deviceToken)).status, 400);
    EXPECT_TRUE(entries().empty());

    EXPECT_EQ(ingest(captureBody("now fine"), "retry-key").status, 200);
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(IngestTest, OnlyRegisteredDeviceTokensMayIngest) {
    EXPECT_EQ(client.post(ingestPath, captureBody("x")).status, 401);
    EXPECT_EQ(client.ingest(BackendClient::newDeviceToken(), captureBody("x")).status, 401);
    EXPECT_EQ(client.ingest(account.session.accessToken, captureBody("x")).status, 401);
    EXPECT_EQ(client.ingest(DevBackendProcess::anonymousKey(), captureBody("x")).status, 401);
    const Reply reply = client.ingest("", captureBody("x"));
    EXPECT_EQ(reply.status, 401);
    EXPECT_TRUE(reply.json()["error"].is_string());
    EXPECT_TRUE(entries().empty());
}

TEST_F(IngestTest, AddressedCapturesAreFiledWhereTheyCanGo) {
    EXPECT_EQ(file("Pay the rent", {{"destination", "docket"}}), "filed docket written/docket");
    EXPECT_EQ(file("Piranesi", {{"destination", "cabinet"}, {"category", "books"}}),
              "filed cabinet books written/cabinet");
    const Reply notLive = ingest(captureBody("a pulse thought", {{"destination", "pulse"}}));
    EXPECT_EQ(filing(notLive), "filed stash not_live/pulse");
    EXPECT_EQ(notLive.json()["route"]["code"], "not_live");

    const std::string house = "something for the house";
    EXPECT_EQ(file(house, {{"destination", "hearth"}}), "filed stash failed/hearth");
    EXPECT_EQ(file(house, {{"destination", "hearth"}, {"hearth_kind", "vendor"}}),
              "filed hearth vendor written/hearth");
    EXPECT_EQ(file(house, {{"destination", "hearth"}, {"grocery_items", {{{"name", "milk"}}}}}),
              "filed hearth groceries written/hearth");

    const Json filed = entries();
    ASSERT_EQ(filed.size(), 6u);
    EXPECT_EQ(filed[2]["requested_destination"], "pulse");
    EXPECT_EQ(filed[2]["destination"], "stash");
    EXPECT_EQ(filed[2]["body"]["content"], "a pulse thought");
}

TEST_F(IngestTest, CapturesWithoutADestinationAreClassifiedUnlessAIIsRefused) {
    EXPECT_EQ(file("remind me to call the dentist tomorrow"), "filed docket written/docket");
    EXPECT_EQ(file("Preheat the oven, then 2 tbsp butter"), "filed hearth recipe written/hearth");
    EXPECT_EQ(file("a thought about nothing in particular"), "filed stash written/stash");
    EXPECT_EQ(file("remind me to call the dentist tomorrow", {{"ai_opt_out", true}}),
              "filed stash written/stash");
    // A screenshot alone is enough to file.
    EXPECT_EQ(file("", {{"screenshot", tinyJpeg}}), "filed stash written/stash");
}

TEST_F(IngestTest, AvatarsForUnknownPeopleAreParkedForReview) {
    client.send("PUT", "/__dev/users/" + account.session.userID + "/people",
                R"([{"id": "p-ada", "name": "Ada Lovelace"}])");
    Json avatar = captureBody("profile photo", {{"destination", "rapport"},
                                                {"rapport_avatar", true},
                                                {"screenshot", tinyJpeg},
                                                {"person_name", "Grace Hopper"}});
    EXPECT_EQ(filing(ingest(avatar)), "parked_for_review rapport avatar");

    avatar["person_name"] = " ada lovelace ";
    EXPECT_EQ(filing(ingest(avatar)), "filed rapport avatar written/rapport");
    avatar.erase("person_name");
    avatar["person_id"] = "p-ada";
    EXPECT_EQ(filing(ingest(avatar)), "filed rapport avatar written/rapport");

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
    EXPECT_EQ(filing(reply), "filed stash disabled/docket");
    EXPECT_EQ(reply.json()["route"]["code"], "app_disabled");

    EXPECT_EQ(file("A quiet evening", {{"destination", "bloom"}}), "filed stash disabled/bloom");
    // Classified captures meet the same rule; stash itself is the floor and always takes them.
    EXPECT_EQ(file("remind me to pay the rent"), "filed stash disabled/docket");
    EXPECT_EQ(file("plain"), "filed stash written/stash");

    setApps(Json{{"docket", true}});
    EXPECT_EQ(filing(ingest(task)), "filed docket written/docket");
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
