// Device registration through the REST layer, with its row-level security and constraints.

#include "devbackend/shorthands.hpp"

#include <capturekit/platform/crypto.hpp>

namespace tarvo::test {
namespace {

class DevicesTest : public BackendTest {
protected:
    Session session = [this] {
        const std::string email = BackendClient::uniqueEmail();
        client.addUser(email, "correct horse");
        return client.signIn(email, "correct horse");
    }();

    Json row(const std::string& token) const {
        return Json{{"user_id", session.userID},
                    {"name", "Kim's laptop"},
                    {"source", "linux"},
                    {"token_hash", capturekit::crypto::sha256Hex(token)}};
    }

    // A row of a new token, merged with the patch.
    Json changedRow(const Json& patch) const {
        Json changed = row(BackendClient::newDeviceToken());
        changed.merge_patch(patch);
        return changed;
    }

    Reply insert(const Json& body, httplib::Headers headers = {{"Prefer", "return=minimal"}}) {
        return client.postWithBearer("/rest/v1/ingest_devices", session.accessToken, body,
                                     std::move(headers));
    }

    std::size_t deviceCount() {
        return client.send("GET", "/__dev/users/" + session.userID + "/devices").json().size();
    }
};

void expectRestError(const Reply& reply, int status, const std::string& code) {
    EXPECT_EQ(reply.status, status) << reply.body;
    const Json body = reply.json();
    EXPECT_EQ(body.value("code", ""), code) << reply.body;
    EXPECT_TRUE(body.contains("details") && body.contains("hint") && body["message"].is_string())
        << reply.body;
}

TEST_F(DevicesTest, RepresentationAndBatchesFollowTheRestForms) {
    const Reply reply = insert(
        Json::array({row(BackendClient::newDeviceToken()), row(BackendClient::newDeviceToken())}),
        {{"Prefer", "return=representation"}});
    ASSERT_EQ(reply.status, 201) << reply.body;
    ASSERT_EQ(reply.json().size(), 2u);
    EXPECT_EQ(reply.json()[0]["user_id"], session.userID);
    EXPECT_EQ(reply.json()[1]["source"], "linux");
    // No preference means a minimal reply.
    EXPECT_TRUE(insert(row(BackendClient::newDeviceToken()), {}).body.empty());
}

TEST_F(DevicesTest, RowLevelSecurityKeepsUsersToTheirOwnRows) {
    const Json someoneElse = changedRow({{"user_id", "00000000-0000-4000-8000-000000000000"}});
    expectRestError(insert(someoneElse), 403, "42501");

    const Json mine = row(BackendClient::newDeviceToken());
    expectRestError(
        client.postWithBearer("/rest/v1/ingest_devices", DevBackendProcess::anonymousKey(), mine),
        401, "42501");
    expectRestError(client.post("/rest/v1/ingest_devices", mine), 401, "42501");
    EXPECT_EQ(deviceCount(), 0u);
}

TEST_F(DevicesTest, ConstraintsRefuseBadRowsAndBatchesAreAllOrNothing) {
    const std::string token = BackendClient::newDeviceToken();
    ASSERT_EQ(insert(row(token)).status, 201);
    const Reply duplicate = insert(row(token));
    expectRestError(duplicate, 409, "23505");
    EXPECT_NE(
        duplicate.json()["details"].get<std::string>().find(capturekit::crypto::sha256Hex(token)),
        std::string::npos);

    // A batch whose second row is a duplicate adds nothing.
    expectRestError(insert(Json::array({row(BackendClient::newDeviceToken()), row(token)})), 409,
                    "23505");
    EXPECT_EQ(deviceCount(), 1u);

    // Each bad row is a fresh one with a column changed, added or (null) removed.
    expectRestError(insert(changedRow({{"token_hash", nullptr}})), 400, "23502");
    expectRestError(insert(changedRow({{"colour", "red"}})), 400, "PGRST204");
    expectRestError(insert(changedRow({{"token_hash", "ABC"}})), 400, "23514");
    expectRestError(insert(changedRow({{"name", 7}})), 400, "22P02");
    expectRestError(
        client.send("POST", "/rest/v1/ingest_devices", "{nope", bearer(session.accessToken)), 400,
        "PGRST102");
    EXPECT_EQ(deviceCount(), 1u);
}

TEST_F(DevicesTest, TheRestLayerTakesOnlySignedAccessTokens) {
    const Json mine = row(BackendClient::newDeviceToken());
    expectRestError(client.postWithBearer("/rest/v1/ingest_devices", "vlt_not-a-jwt", mine), 401,
                    "PGRST301");
    std::string tampered = session.accessToken;
    char& signatureCharacter = tampered[tampered.size() - 5];
    signatureCharacter = signatureCharacter == 'A' ? 'B' : 'A';
    expectRestError(client.postWithBearer("/rest/v1/ingest_devices", tampered, mine), 401,
                    "PGRST301");
    expectRestError(client.send("GET", "/rest/v1/ingest_devices", {}, bearer(session.accessToken)),
                    405, "PGRST117");
    expectRestError(client.post("/rest/v1/other_table", Json::object()), 404, "PGRST205");
}

} // namespace
} // namespace tarvo::test
