#include <capturekit/platform/json.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

TEST(JsonHelpers, ParseAndDumpNeverThrow) {
    for (const char* bad : {"{", "{} x", "\"\xFF\"", ""}) {
        EXPECT_FALSE(json::parse(bad).has_value()) << bad;
    }
    EXPECT_EQ(json::parse(R"({"a":1})"), (Json{{"a", 1}}));
    // Invalid UTF-8 is replaced when dumped.
    EXPECT_EQ(json::dump(Json(std::string("a\xFF"))), "\"a\xEF\xBF\xBD\"");
}

TEST(JsonHelpers, TypedLookupsGiveAbsentForWrongTypes) {
    const Json j =
        *json::parse(R"({"s":"x","n":2.5,"i":3,"f":3.0,"b":true,"l":["a","b"],"m":["a",1]})");
    EXPECT_EQ(json::string(j, "s"), "x");
    EXPECT_EQ(json::string(j, "n"), std::nullopt);
    EXPECT_EQ(json::number(j, "i"), 3.0);
    EXPECT_EQ(json::integer(j, "f"), 3);
    EXPECT_EQ(json::integer(j, "n"), std::nullopt);
    EXPECT_EQ(json::boolean(j, "b"), true);
    EXPECT_EQ(json::boolean(j, "s"), std::nullopt);
    EXPECT_EQ(json::stringArray(j, "l"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(json::stringArray(j, "m"), std::nullopt);
    EXPECT_EQ(json::string(Json::array(), "s"), std::nullopt);
}
