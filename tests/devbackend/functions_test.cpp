// Suggestions, the apps-enabled procedure, media storage and transcription.

#include "devbackend/shorthands.hpp"

namespace tarvo::test {
namespace {

class FunctionsTest : public AccountTest {
protected:
    Reply suggest(const Json& body) {
        return client.postWithBearer("/functions/v1/capture-suggest", account.deviceToken, body);
    }

    Reply appsEnabled(const Json& body) {
        return client.postWithBearer("/rest/v1/rpc/apps_enabled", account.session.accessToken,
                                     body);
    }

    // A storage call on the path under /storage/v1/object/, with the token as bearer.
    Reply storage(const std::string& method, const std::string& path, const std::string& token,
                  const std::string& bytes = {}, httplib::Headers headers = {}) {
        headers.merge(bearer(token));
        return client.send(method, "/storage/v1/object/" + path, bytes, std::move(headers));
    }

    Reply upload(const std::string& path, const std::string& bytes, const std::string& type,
                 httplib::Headers headers = {}, const std::string& method = "POST") {
        headers.emplace("Content-Type", type);
        return storage(method, "capture-media/" + path, account.session.accessToken, bytes,
                       std::move(headers));
    }

    Reply fetch(const std::string& path, const std::string& token) {
        return storage("GET", "capture-media/" + path, token);
    }

    std::string folder() const { return account.session.userID + "/voice/"; }
};

TEST_F(FunctionsTest, SuggestionsFollowTagsKeywordsLinksAndKnownPeople) {
    const Json empty = suggest(Json::object()).json();
    EXPECT_EQ(empty["destination"], "stash");
    EXPECT_LT(empty["confidence"].get<double>(), 0.5);
    EXPECT_FALSE(empty.contains("title"));

    const Json tagged = suggest(Json{{"content", "anything"}, {"tags", {"#Docket"}}}).json();
    EXPECT_EQ(tagged["destination"], "docket");
    EXPECT_GT(tagged["confidence"].get<double>(), 0.9);
    // The hand-picked-only destination is never suggested, even when tagged.
    EXPECT_EQ(suggest(Json{{"content", "x"}, {"tags", {"trove"}}}).json()["destination"], "stash");

    const Json recipe =
        suggest(Json{{"content", "  Lentil soup\nPreheat the oven; 2 tbsp oil  "}}).json();
    EXPECT_EQ(recipe["destination"], "hearth");
    EXPECT_EQ(recipe["hearth_kind"], "recipe");
    EXPECT_EQ(recipe["title"], "Lentil soup");
    EXPECT_EQ(recipe["clean_text"], "Lentil soup Preheat the oven; 2 tbsp oil");

    const Json groceries =
        suggest(Json{{"content", "Groceries: milk, 2 eggs, 500 g flour"}}).json();
    EXPECT_EQ(groceries["destination"], "hearth");
    EXPECT_EQ(groceries["grocery_items"],
              Json::parse(R"([{"name":"milk"},{"name":"eggs","quantity":2.0},
                             {"name":"flour","quantity":500.0,"unit":"g"}])"));

    const Json book =
        suggest(Json{{"content", "must read"}, {"url", "https://www.goodreads.com/book/show/1"}})
            .json();
    EXPECT_EQ(book["destination"], "cabinet");
    EXPECT_EQ(book["cabinet_category"], "books");

    client.send("PUT", "/__dev/users/" + account.session.userID + "/people",
                R"([{"id": "p-1", "name": "Ada Lovelace"}])");
    const Json person = suggest(Json{{"content", "Lunch with Ada Lovelace, buy flowers"}}).json();
    EXPECT_EQ(person["person_names"], Json::array({"Ada Lovelace"}));
    EXPECT_EQ(person["person_match"]["person_id"], "p-1");
    EXPECT_EQ(person["destination"], "docket") << "the surer rule wins";
    EXPECT_EQ(person["hint_destination"], "rapport");
}

TEST_F(FunctionsTest, SuggestRefusesStrangersAndMalformedBodies) {
    const auto status = [&](const std::string& token) {
        return client.postWithBearer("/functions/v1/capture-suggest", token, Json::object()).status;
    };
    EXPECT_EQ(status(DevBackendProcess::anonymousKey()), 401);
    // Signed-in users may ask as well as devices.
    EXPECT_EQ(status(account.session.accessToken), 200);
    EXPECT_EQ(suggest(Json{{"content", 1}}).status, 400);
    EXPECT_EQ(suggest(Json{{"tags", "docket"}}).status, 400);
    EXPECT_EQ(suggest(Json::array()).status, 400);
}

TEST_F(FunctionsTest, AppsEnabledRefusesAnonymousCallersAndWrongParameters) {
    const Reply anonymous = client.post("/rest/v1/rpc/apps_enabled", Json{{"p_keys", {"stash"}}});
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_EQ(anonymous.json()["code"], "42501");
    const Reply missing = appsEnabled(Json{{"keys", {"stash"}}});
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.json()["code"], "PGRST202");
    EXPECT_EQ(appsEnabled(Json{{"p_keys", "stash"}}).json()["code"], "22P02");
    EXPECT_EQ(appsEnabled(Json{{"p_keys", {1, 2}}}).status, 400);
}

TEST_F(FunctionsTest, MediaIsStoredPerUserFolder) {
    const std::string audio("\x00\x01m4a\xff", 6);
    const Reply stored = upload(folder() + "rec 1.m4a", audio, "audio/m4a");
    ASSERT_EQ(stored.status, 200) << stored.body;
    EXPECT_EQ(stored.json()["Key"], "capture-media/" + folder() + "rec 1.m4a");

    const Reply read = fetch(folder() + "rec%201.m4a", account.session.accessToken);
    EXPECT_EQ(read.status, 200);
    EXPECT_EQ(read.body, audio);
    EXPECT_EQ(read.header("Content-Type"), "audio/m4a");

    EXPECT_EQ(upload(folder() + "rec 1.m4a", "again", "audio/m4a").status, 409);
    EXPECT_EQ(upload(folder() + "rec 1.m4a", "again", "audio/m4a", {{"x-upsert", "true"}}).status,
              200);
    EXPECT_EQ(upload(folder() + "missing.m4a", "x", "audio/m4a", {}, "PUT").status, 404);

    const Account other = client.newAccount();
    EXPECT_EQ(fetch(folder() + "rec%201.m4a", other.session.accessToken).status, 404);
    EXPECT_EQ(upload(other.session.userID + "/voice/x.m4a", "x", "audio/m4a").status, 403);
    EXPECT_EQ(upload("../" + folder() + "x.m4a", "x", "audio/m4a").status, 400);
    EXPECT_EQ(upload(folder() + "a//b.m4a", "x", "audio/m4a").status, 400);
    const std::string& userToken = account.session.accessToken;
    EXPECT_EQ(storage("POST", "other-bucket/" + folder() + "x", userToken, "x").status, 404);
    EXPECT_EQ(storage("POST", "capture-media/" + folder() + "x", account.deviceToken, "x").status,
              401);

    EXPECT_EQ(storage("DELETE", "capture-media/" + folder() + "rec%201.m4a", userToken).status,
              200);
    EXPECT_EQ(fetch(folder() + "rec%201.m4a", account.session.accessToken).status, 404);
}

TEST_F(FunctionsTest, TranscriptionGivesAReasonForAudioAndTextForTextStandIns) {
    const auto transcribe = [&](const Json& body) {
        return client.postWithBearer("/functions/v1/capture-transcribe",
                                     account.session.accessToken, body);
    };
    ASSERT_EQ(upload(folder() + "a.m4a", "audio bytes", "audio/m4a").status, 200);
    ASSERT_EQ(upload(folder() + "b.m4a", "buy more coffee", "text/plain").status, 200);

    const Reply audio = transcribe(Json{{"audio_path", folder() + "a.m4a"}});
    EXPECT_EQ(audio.status, 200);
    EXPECT_EQ(audio.json(), Json({{"reason", "no_speech_engine"}}));
    EXPECT_EQ(transcribe(Json{{"audio_path", folder() + "b.m4a"}}).json(),
              Json({{"transcript", "buy more coffee"}}));
    EXPECT_EQ(transcribe(Json{{"audio_path", folder() + "none.m4a"}}).status, 404);
    EXPECT_EQ(transcribe(Json::object()).status, 400);
}

} // namespace
} // namespace tarvo::test
