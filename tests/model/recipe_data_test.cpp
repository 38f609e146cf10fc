#include <capturekit/model/recipe_data.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace capturekit;

namespace {

std::optional<RecipeData> fromText(const char* text) {
    const auto value = json::parse(text);
    EXPECT_TRUE(value) << text;
    return RecipeData::from(value.value_or(Json()));
}

} // namespace

TEST(RecipeData, FromTrimsTextsAndIgnoresValuesOfOtherTypes) {
    const auto recipe = fromText(R"({"name":"  Soup\n","ingredients":[" water ","  ","salt"],
        "steps":"Boil","servings":4,"totalTime":" PT1H ","author":"\t"})");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(*recipe, (RecipeData{.name = "Soup",
                                   .ingredients = {"water", "salt"},
                                   .steps = {},
                                   .servings = std::nullopt,
                                   .totalTime = "PT1H",
                                   .author = std::nullopt}));
    // One element of another type spoils the whole list.
    EXPECT_EQ(fromText(R"({"ingredients":["egg",1],"steps":["a","b"]})")->ingredients,
              std::vector<std::string>{});
}

TEST(RecipeData, NeedsAnIngredientOrTwoStepsToBeUsable) {
    EXPECT_TRUE(fromText(R"({"ingredients":["egg"]})"));
    EXPECT_TRUE(fromText(R"({"steps":["Mix","Bake"]})"));
    EXPECT_FALSE(fromText(R"({"name":"Soup","steps":["Boil"]})"));
    EXPECT_FALSE(fromText(R"({"name":"Soup","ingredients":[" "],"steps":["Boil", ""]})"));
    EXPECT_FALSE(fromText(R"(["egg"])"));
    EXPECT_FALSE(RecipeData::from(Json()));

    const RecipeData oneStep{.name = "Toast", .steps = {"Toast it"}};
    EXPECT_FALSE(oneStep.isUsable());
    EXPECT_EQ(oneStep.formatted(), std::nullopt);
}

// Hours and minutes of time-of-day durations, decimal fractions counting as their value.
TEST(RecipeData, ReadsMinutesAndHumanDurations) {
    const std::pair<const char*, int> minutes[] = {
        {"PT1H30M", 90}, {"PT90M", 90},  {"PT2H15S", 120}, {"PT30M2H", 150},
        {"PTxH5M", 5},   {"PT1.5H", 90}, {"PT0,25H", 15},  {"PT1H2.9M", 62}};
    for (const auto& [text, expected] : minutes) {
        EXPECT_EQ(RecipeData::minutes(text), expected) << text;
    }
    for (const char* none :
         {"PT0M", "PT", "P1DT2H", "pt1h", " PT1H", "PT30S", "1H", "PT0.5M", "PT1.2.3H"}) {
        EXPECT_EQ(RecipeData::minutes(none), std::nullopt) << none;
    }
    EXPECT_EQ(RecipeData::minutes(std::nullopt), std::nullopt);
    // Far beyond any recipe: no number of minutes rather than an overflow.
    EXPECT_EQ(RecipeData::minutes("PT" + std::string(300, '9') + "H"), std::nullopt);
    EXPECT_EQ((RecipeData{.ingredients = {"egg"}, .totalTime = "PT45M"}.totalMinutes()), 45);

    EXPECT_EQ(RecipeData::humanDuration("PT1H30M"), "1 hr 30 min");
    EXPECT_EQ(RecipeData::humanDuration("PT90M"), "1 hr 30 min");
    EXPECT_EQ(RecipeData::humanDuration("PT45M"), "45 min");
    EXPECT_EQ(RecipeData::humanDuration("PT2H"), "2 hr");
    EXPECT_EQ(RecipeData::humanDuration("PT0M"), std::nullopt);
    EXPECT_EQ(RecipeData::humanDuration("P1DT2H"), std::nullopt);
}

TEST(RecipeData, FormatsNameDetailsIngredientsAndNumberedSteps) {
    const RecipeData soup{.name = "Soup",
                          .ingredients = {"water"},
                          .steps = {"Boil", "Serve"},
                          .servings = "4",
                          .totalTime = "PT1H",
                          .author = "Test Kitchen"};
    EXPECT_EQ(soup.formatted(), "Soup\nServes 4 \u00B7 1 hr \u00B7 by Test Kitchen\n\n"
                                "Ingredients\n- water\n\nSteps\n1. Boil\n2. Serve");

    const RecipeData bare{
        .name = " ", .ingredients = {"egg"}, .servings = "  ", .totalTime = "PT0M"};
    EXPECT_EQ(bare.formatted(), "\nIngredients\n- egg");

    const RecipeData byAuthor{.name = " Bread ", .steps = {"Knead", "Bake"}, .author = " Ann "};
    EXPECT_EQ(byAuthor.formatted(), "Bread\nby Ann\n\nSteps\n1. Knead\n2. Bake");
}
