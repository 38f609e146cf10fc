#include <capturekit/model/capture_ingest_request.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace capturekit;

namespace {

std::string encoded(const CaptureIngestRequest& request) {
    const auto text = request.encoded();
    EXPECT_TRUE(text) << text.error().description();
    return text.value_or("");
}

Date march1st() {
    return *dates::parseISO8601("2026-03-01T09:30:00.750Z");
}

// Every field present, the widest request there is, as it goes on the wire.
constexpr const char* everythingText =
    R"({"destination":"hearth","category":"books","title":"Soup","content":"Tomato soup",)"
    R"("tags":["a","b"],"entry_type":"recipe","screenshot":"data:image/jpeg;base64,AAAA",)"
    R"("url":"https://example.com/soup","image_url":"https://example.com/soup.jpg",)"
    R"("page_text":"Page","audio_path":"u/1.m4a","transcription_engine":"cloud",)"
    R"("person_id":"p1","person_name":"Ann","rapport_avatar":true,"route_rung":"explicit",)"
    R"("social_identity":{"platform":"x","handle":"ann"},"audio_mime":"audio/m4a",)"
    R"("audio_duration_seconds":12.5,"audio_expires_at":"2026-03-08T09:30:00Z",)"
    R"("recipe":{"title":"Soup","source_url":"https://example.com/soup","ingredients":)"
    R"([{"name":"tomato","quantity":2.0,"note":"ripe"}],"steps":["Cook."],"servings":4,)"
    R"("total_minutes":30},"hearth_kind":"recipe",)"
    R"("grocery_items":[{"name":"milk","quantity":1.5,"unit":"l"}],"create_person":true,)"
    R"("vendor":{"name":"Deli","contact_name":"Bo","phone":"1"},)"
    R"("attachments":["data:1","data:2"],"ai_opt_out":true,"source_type":"share",)"
    R"("source_app":"linux","source_ref":"ref","device":"desk","make_task":true,)"
    R"("task_kind":"focus","task_due":"2026-03-01T09:30:00Z"})";

CaptureIngestRequest everything() {
    const auto request = CaptureIngestRequest::decode(everythingText);
    EXPECT_TRUE(request);
    return request.value_or(CaptureIngestRequest{});
}

} // namespace

TEST(IngestRequestEncoding, OnlyContentAndTagsAreAlwaysWritten) {
    EXPECT_EQ(encoded(CaptureIngestRequest{}), R"({"content":"","tags":[]})");
    EXPECT_EQ(encoded(CaptureIngestRequest({.content = "hi", .tags = {"x"}})),
              R"({"content":"hi","tags":["x"]})");
    CaptureIngestRequest groceries; // an empty grocery list is distinct from none
    groceries.groceryItems = std::vector<GroceryItem>{};
    EXPECT_EQ(encoded(groceries), R"({"content":"","tags":[],"grocery_items":[]})");
}

// Read and written back, the widest request keeps every key, value and the fixed key order.
TEST(IngestRequestEncoding, WritesAllThirtyFourKeysInTheirFixedOrder) {
    const CaptureIngestRequest request = everything();
    EXPECT_EQ(encoded(request), everythingText);
    EXPECT_EQ(request.personID, "p1");
    EXPECT_EQ(request.sourceRef, "ref");
    EXPECT_EQ(request.socialIdentity->handle, "ann");
    EXPECT_EQ(request.recipe->ingredients[0].note, "ripe");
    EXPECT_EQ(request.vendor->contactName, "Bo");
}

TEST(IngestRequestEncoding, NonFiniteNumbersFailWithThePathOfTheValue) {
    CaptureIngestRequest request;
    request.audioDurationSeconds = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(request.encoded().error(),
              CodingError::at(CodingError::Kind::nonFiniteNumber, "audio_duration_seconds"));

    request = everything();
    request.groceryItems->push_back({.name = "eggs", .quantity = INFINITY});
    EXPECT_EQ(request.toJson().error().path, "grocery_items[1].quantity");

    request = everything();
    request.recipe->ingredients[0].quantity = -INFINITY;
    const auto failure = request.encoded().error();
    EXPECT_EQ(failure.path, "recipe.ingredients[0].quantity");
    EXPECT_EQ(failure.description(),
              "The value for \u201Crecipe.ingredients[0].quantity\u201D isn\u2019t a finite "
              "number.");
}

// The request builder's tests cover the category and task rules by destination; these are the
// exact fields the rules leave.
TEST(DesignatedConstructor, KeepsTheCategoryForCabinetAndTaskFieldsOnlyWhenATaskIsAsked) {
    EXPECT_EQ(encoded(CaptureIngestRequest(
                  {.destination = Destination::cabinet, .category = CabinetCategory::models_3d})),
              R"({"destination":"cabinet","category":"models_3d","content":"","tags":[]})");
    EXPECT_EQ(CaptureIngestRequest({.category = CabinetCategory::books}).category, std::nullopt);

    const CaptureIngestRequest notAsked(
        {.destination = Destination::stash, .taskKind = TaskKind::quick, .taskDue = march1st()});
    EXPECT_EQ(encoded(notAsked), R"({"destination":"stash","content":"","tags":[]})");
    const CaptureIngestRequest task({.destination = Destination::stash,
                                     .makeTask = true,
                                     .taskKind = TaskKind::quick,
                                     .taskDue = march1st()});
    EXPECT_EQ(encoded(task), R"({"destination":"stash","content":"","tags":[],"make_task":true,)"
                             R"("task_kind":"quick","task_due":"2026-03-01T09:30:00Z"})");
    EXPECT_EQ(encoded(CaptureIngestRequest({.makeTask = true})),
              R"({"content":"","tags":[],"make_task":true})");
}

TEST(IngestRequestDecoding, ReadsNullOrUnknownKeysAsAbsent) {
    EXPECT_EQ(CaptureIngestRequest::decode(R"({"content":"","tags":[],"title":null,"x":{"a":1}})"),
              CaptureIngestRequest{});
}

TEST(IngestRequestDecoding, FailsClearlyOnMissingOrMistypedValues) {
    const auto failure = [](std::string_view text) {
        const auto decoded = CaptureIngestRequest::decode(text);
        EXPECT_FALSE(decoded) << text;
        return decoded ? CodingError{} : decoded.error();
    };
    using Kind = CodingError::Kind;
    EXPECT_EQ(failure(R"({"tags":[]})"), CodingError::at(Kind::missingValue, "content"));
    EXPECT_EQ(failure(R"({"content":"","tags":null})"),
              CodingError::at(Kind::missingValue, "tags"));
    EXPECT_EQ(failure(R"({"content":"","tags":["a",1]})"),
              CodingError::at(Kind::wrongType, "tags[1]"));
    EXPECT_EQ(failure(R"({"content":"","tags":[],"make_task":"true"})"),
              CodingError::at(Kind::wrongType, "make_task"));
    EXPECT_EQ(failure(R"({"content":"","tags":[],"recipe":{"title":"t","ingredients":)"
                      R"([{"name":3}],"steps":[]}})"),
              CodingError::at(Kind::wrongType, "recipe.ingredients[0].name"));
    EXPECT_EQ(failure(R"({"content":"","tags":[],"recipe":{"title":"t","ingredients":[],)"
                      R"("steps":[],"servings":2.5}})"),
              CodingError::at(Kind::wrongType, "recipe.servings"));
    EXPECT_EQ(failure(R"({"content":"","tags":[],"recipe":{"title":"t","ingredients":[],)"
                      R"("steps":[],"servings":18446744073709551615}})"),
              CodingError::at(Kind::numberOutOfRange, "recipe.servings"));
    EXPECT_EQ(failure(R"({"content":"","tags":[],"social_identity":{"platform":"x"}})"),
              CodingError::at(Kind::missingValue, "social_identity.handle"));
    EXPECT_EQ(failure(R"(["content"])"), CodingError::at(Kind::wrongType, ""));
    EXPECT_EQ(failure(R"({"content":"",)"), CodingError::malformedJSON());
    EXPECT_EQ(failure(R"({"tags":[]})").description(),
              "The value for \u201Ccontent\u201D is missing.");
}
