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

std::vector<std::string> keys(const CaptureIngestRequest& request) {
    std::vector<std::string> out;
    const OrderedJson json = *request.toJson();
    for (const auto& item : json.items()) {
        out.push_back(item.key());
    }
    return out;
}

Date march1st() {
    return *dates::parseISO8601("2026-03-01T09:30:00.750Z");
}

// Every field present: the widest request there is.
CaptureIngestRequest everything() {
    CaptureIngestRequest request;
    request.destination = "hearth";
    request.category = "books";
    request.title = "Soup";
    request.content = "Tomato soup";
    request.tags = {"a", "b"};
    request.entryType = "recipe";
    request.screenshot = "data:image/jpeg;base64,AAAA";
    request.url = "https://example.com/soup";
    request.imageURL = "https://example.com/soup.jpg";
    request.pageText = "Page";
    request.audioPath = "u/1.m4a";
    request.transcriptionEngine = "cloud";
    request.personID = "p1";
    request.personName = "Ann";
    request.rapportAvatar = true;
    request.routeRung = "explicit";
    request.socialIdentity = SocialIdentityPayload{.platform = "x", .handle = "ann"};
    request.audioMime = "audio/m4a";
    request.audioDurationSeconds = 12.5;
    request.audioExpiresAt = "2026-03-08T09:30:00Z";
    request.recipe = RecipePayload{
        .title = "Soup",
        .sourceURL = "https://example.com/soup",
        .imageURL = std::nullopt,
        .ingredients = {RecipeIngredient{
            .name = "tomato", .quantity = 2, .unit = std::nullopt, .note = "ripe"}},
        .steps = {"Cook."},
        .servings = 4,
        .totalMinutes = 30,
    };
    request.hearthKind = "recipe";
    request.groceryItems = std::vector{GroceryItem{.name = "milk", .quantity = 1.5, .unit = "l"}};
    request.createPerson = true;
    request.vendor = VendorPayload{.name = "Deli", .contactName = "Bo", .phone = "1"};
    request.attachments = std::vector<std::string>{"data:1", "data:2"};
    request.aiOptOut = true;
    request.sourceType = "share";
    request.sourceApp = "linux";
    request.sourceRef = "ref";
    request.device = "desk";
    request.makeTask = true;
    request.taskKind = "focus";
    request.taskDue = "2026-03-01T09:30:00Z";
    return request;
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

TEST(IngestRequestEncoding, WritesAllThirtyFourKeysInTheirFixedOrder) {
    // clang-format off
    const std::vector<std::string> expected{
        "destination", "category", "title", "content", "tags", "entry_type", "screenshot", "url",
        "image_url", "page_text", "audio_path", "transcription_engine", "person_id", "person_name",
        "rapport_avatar", "route_rung", "social_identity", "audio_mime", "audio_duration_seconds",
        "audio_expires_at", "recipe", "hearth_kind", "grocery_items", "create_person", "vendor",
        "attachments", "ai_opt_out", "source_type", "source_app", "source_ref", "device",
        "make_task", "task_kind", "task_due"};
    // clang-format on
    EXPECT_EQ(keys(everything()), expected);
    const OrderedJson json = *everything().toJson();
    EXPECT_EQ(json::dump(json["recipe"]),
              R"({"title":"Soup","source_url":"https://example.com/soup","ingredients":)"
              R"([{"name":"tomato","quantity":2.0,"note":"ripe"}],"steps":["Cook."],)"
              R"("servings":4,"total_minutes":30})");
    EXPECT_EQ(json::dump(json["vendor"]), R"({"name":"Deli","contact_name":"Bo","phone":"1"})");
    EXPECT_EQ(json::dump(json["grocery_items"]), R"([{"name":"milk","quantity":1.5,"unit":"l"}])");
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

TEST(IngestRequestDecoding, ReadsBackEverythingItWritesAndNullOrUnknownKeysAsAbsent) {
    EXPECT_EQ(CaptureIngestRequest::decode(encoded(everything())), everything());
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
