#include <capturekit/model/capture_item.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

namespace {

CaptureItem voiceNote() {
    return CaptureItem{
        .text = "Buy milk",
        .url = "https://example.com",
        .audioPath = "u/1.m4a",
        .audioDurationSeconds = 3.5,
        .audioExpiresAt = dates::fromSecondsSince2001(800000000),
        .recipe = RecipeData{.name = "Soup", .ingredients = {"1 tomato"}, .steps = {}},
        .contact = ContactCard{.name = "Bo", .phones = {}, .emails = {}},
        .isDictation = true,
        .surface = CaptureSurface::voiceCapture,
        .tags = {"t"},
    };
}

} // namespace

TEST(CaptureItemJson, UsesTheFieldNamesAndStoresDatesAsSecondsSince2001) {
    const auto json = voiceNote().toJson();
    ASSERT_TRUE(json);
    EXPECT_EQ(json::dump(*json),
              R"({"text":"Buy milk","url":"https://example.com","extraScreenshots":[],)"
              R"("keepImagesTogether":true,"audioPath":"u/1.m4a","audioDurationSeconds":3.5,)"
              R"("audioExpiresAt":800000000.0,"recipe":{"name":"Soup","ingredients":["1 tomato"],)"
              R"("steps":[]},"contact":{"name":"Bo","phones":[],"emails":[]},"isDictation":true,)"
              R"("surface":"voiceCapture","tags":["t"]})");
    EXPECT_EQ(CaptureItem::fromJson(Json::parse(json::dump(*json))), voiceNote());
}

TEST(CaptureItemJson, RequiresTheNonOptionalFields) {
    const Json complete = Json::parse(json::dump(*voiceNote().toJson()));
    for (const char* key :
         {"text", "extraScreenshots", "keepImagesTogether", "isDictation", "surface", "tags"}) {
        Json incomplete = complete;
        incomplete.erase(key);
        EXPECT_EQ(CaptureItem::fromJson(incomplete).error(),
                  CodingError::at(CodingError::Kind::missingValue, key));
    }
    Json unknownSurface = complete;
    unknownSurface["surface"] = "quickEntry";
    EXPECT_EQ(CaptureItem::fromJson(unknownSurface).error(),
              CodingError::at(CodingError::Kind::unknownValue, "surface"));
}

TEST(CaptureItemJson, RefusesADurationJsonCannotHold) {
    CaptureItem item = voiceNote();
    item.audioDurationSeconds = std::numeric_limits<double>::infinity();
    EXPECT_EQ(item.toJson().error().path, "audioDurationSeconds");
}
