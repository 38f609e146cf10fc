#include <capturekit/content/grocery_item_normaliser.hpp>
#include <capturekit/content/ingredient_parser.hpp>
#include <capturekit/content/recipe_payload_builder.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace capturekit;
using IngredientParser::Quantity;

namespace {

RecipeIngredient ingredient(std::string name, std::optional<double> quantity = std::nullopt,
                            std::optional<std::string> unit = std::nullopt,
                            std::optional<std::string> note = std::nullopt) {
    return RecipeIngredient{.name = std::move(name),
                            .quantity = quantity,
                            .unit = std::move(unit),
                            .note = std::move(note)};
}

} // namespace

TEST(IngredientParser, SplitsQuantityUnitNameAndNote) {
    EXPECT_EQ(IngredientParser::parse("2 cups flour"), ingredient("flour", 2, "cup"));
    EXPECT_EQ(IngredientParser::parse(" 1 \u00BD cups sugar,  packed "),
              ingredient("sugar", 1.5, "cup", "packed"));
    EXPECT_EQ(IngredientParser::parse("1 1/2 tsp. salt"), ingredient("salt", 1.5, "teaspoon"));
    EXPECT_EQ(IngredientParser::parse("\u00BD lb butter"), ingredient("butter", 0.5, "pound"));
    EXPECT_EQ(IngredientParser::parse("(2) eggs"), ingredient("eggs", 2));
    EXPECT_EQ(IngredientParser::parse("3 large eggs"), ingredient("large eggs", 3));
    EXPECT_EQ(IngredientParser::parse("1 T oil"), ingredient("oil", 1, "tablespoon"));
    EXPECT_EQ(IngredientParser::parse("2   Cloves   garlic"), ingredient("garlic", 2, "clove"));
}

TEST(IngredientParser, LinesWithoutAQuantityKeepTheirWords) {
    EXPECT_EQ(IngredientParser::parse("salt to taste"), ingredient("salt to taste"));
    EXPECT_EQ(IngredientParser::parse("cloves garlic"), ingredient("cloves garlic"));
    EXPECT_EQ(IngredientParser::parse("pepper, freshly ground"),
              ingredient("pepper", std::nullopt, std::nullopt, "freshly ground"));
    EXPECT_EQ(IngredientParser::parse("   \n"), ingredient("   \n"));
    EXPECT_EQ(IngredientParser::parse(""), ingredient(""));
    // Nothing left after the quantity and unit: the whole line names the ingredient.
    EXPECT_EQ(IngredientParser::parse("2 cups, sifted"),
              ingredient("2 cups, sifted", 2, "cup", "sifted"));
    EXPECT_EQ(IngredientParser::parse("eggs,  "), ingredient("eggs"));
}

TEST(IngredientParser, RangesLeaveTheWholeLineUnparsed) {
    for (const char* line : {"2-3 cloves garlic, minced", "2\u20133 eggs", "(1-2) limes",
                             "2to3 apples", "\u00BD-1 cup milk"}) {
        EXPECT_EQ(IngredientParser::parse(line), ingredient(line)) << line;
    }
    EXPECT_EQ(IngredientParser::quantity("2-3"), (Quantity{.value = 2, .isRange = true}));
    EXPECT_EQ(IngredientParser::quantity("1.5\u20132"), (Quantity{.value = 1.5, .isRange = true}));
    // A separator with nothing readable before it makes no range.
    EXPECT_EQ(IngredientParser::quantity("-2"), std::nullopt);
    EXPECT_EQ(IngredientParser::quantity("to"), std::nullopt);
}

TEST(IngredientParser, ReadsFractionsDecimalsAndVulgarFractions) {
    EXPECT_EQ(IngredientParser::quantity("3/4"), Quantity{.value = 0.75});
    EXPECT_EQ(IngredientParser::quantity("0.25"), Quantity{.value = 0.25});
    EXPECT_EQ(IngredientParser::quantity("1\u00BD"), Quantity{.value = 1.5});
    EXPECT_EQ(IngredientParser::quantity("\u215B"), Quantity{.value = 1.0 / 8});
    EXPECT_EQ(IngredientParser::quantity("\u2154"), Quantity{.value = 2.0 / 3});
    EXPECT_EQ(IngredientParser::quantity("\u00BEcup"), Quantity{.value = 0.75});
    EXPECT_EQ(IngredientParser::quantity("\u00BD1/0"), Quantity{.value = 0.5});
    for (const char* none :
         {"1/0", "1//2", "1/2/3", "/2", "1.2.3", "x2", "2x", "()", "1e3", "\u0663"}) {
        EXPECT_EQ(IngredientParser::quantity(none), std::nullopt) << none;
    }
}

TEST(IngredientParser, MixedNumbersNeedASmallFractionalSecondWord) {
    EXPECT_EQ(IngredientParser::parse("2 3/4 cup milk").quantity, 2.75);
    EXPECT_EQ(IngredientParser::parse("2 3 eggs"), ingredient("3 eggs", 2));
    EXPECT_EQ(IngredientParser::parse("2 .5 eggs"), ingredient(".5 eggs", 2));
    EXPECT_EQ(IngredientParser::parse("1 5/4 cups rice"), ingredient("5/4 cups rice", 1));
    EXPECT_EQ(IngredientParser::parse("1 1-2 cups rice"), ingredient("1-2 cups rice", 1));
}

TEST(IngredientParser, AnOverflowingFractionIsNoQuantity) {
    const std::string huge = std::string(300, '9') + "/0." + std::string(300, '0') + "1";
    EXPECT_EQ(IngredientParser::quantity(huge), std::nullopt);
    EXPECT_EQ(IngredientParser::parse(huge + " cups rice").quantity, std::nullopt);
}

TEST(IngredientParser, UnitsAreMatchedInLowerCaseWithoutDots) {
    EXPECT_EQ(IngredientParser::unit("Tbsp."), "tablespoon");
    EXPECT_EQ(IngredientParser::unit("t"), "tablespoon");
    EXPECT_EQ(IngredientParser::unit("..LITRES"), "liter");
    EXPECT_EQ(IngredientParser::unit("C"), "cup");
    EXPECT_EQ(IngredientParser::unit("pkg"), "package");
    EXPECT_EQ(IngredientParser::unit("cupful"), std::nullopt);
    EXPECT_EQ(IngredientParser::unit("."), std::nullopt);
    EXPECT_EQ(IngredientParser::unit(""), std::nullopt);
}

TEST(IngredientParser, ServingsAreAWholeNumberWithAnOptionalWord) {
    EXPECT_EQ(IngredientParser::servings("  4 Servings \n"), 4);
    EXPECT_EQ(IngredientParser::servings("6"), 6);
    EXPECT_EQ(IngredientParser::servings("1 serving"), 1);
    EXPECT_EQ(IngredientParser::servings("8servings"), 8);
    for (const char* none : {"4-6 servings", "serves 4", "4 people", "", "servings", "\u00BD",
                             "99999999999999999999"}) {
        EXPECT_EQ(IngredientParser::servings(std::string(none)), std::nullopt) << none;
    }
    EXPECT_EQ(IngredientParser::servings(std::nullopt), std::nullopt);
}

TEST(RecipePayloadBuilder, NeedsATitleAndAUsableRecipe) {
    const auto builds = [](const RecipeData& recipe) {
        return RecipePayloadBuilder::from(recipe, std::nullopt, std::nullopt).has_value();
    };
    EXPECT_TRUE(builds({.name = "Egg", .ingredients = {"1 egg"}}));
    EXPECT_FALSE(builds({.name = "Toast", .steps = {"Toast"}}));
    EXPECT_FALSE(builds({.name = " \n", .ingredients = {"1 egg"}}));
    EXPECT_FALSE(builds({.ingredients = {"1 egg"}}));
}

TEST(RecipePayloadBuilder, ParsesIngredientsAndCleansTheRest) {
    const RecipeData recipe{.name = " Pancakes ",
                            .ingredients = {"2 cups flour", "salt to taste"},
                            .steps = {" Mix ", "  ", "Fry"},
                            .servings = "4 servings",
                            .totalTime = "PT1H5M"};
    const auto payload =
        RecipePayloadBuilder::from(recipe, std::string(" https://example.com/p "), "  ");
    ASSERT_TRUE(payload);
    EXPECT_EQ(*payload,
              (RecipePayload{
                  .title = "Pancakes",
                  .sourceURL = "https://example.com/p",
                  .imageURL = std::nullopt,
                  .ingredients = {ingredient("flour", 2, "cup"), ingredient("salt to taste")},
                  .steps = {"Mix", "Fry"},
                  .servings = 4,
                  .totalMinutes = 65,
              }));
    const auto unreadable = RecipePayloadBuilder::from(
        RecipeData{
            .name = "Tea", .ingredients = {"tea"}, .servings = "serves 2", .totalTime = "P1D"},
        std::nullopt, std::nullopt);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->servings, std::nullopt);
    EXPECT_EQ(unreadable->totalMinutes, std::nullopt);
}

TEST(GroceryItemNormaliser, MovesAQuantityWrittenInTheNameIntoItsFields) {
    using GroceryItemNormaliser::normalised;
    EXPECT_EQ(normalised({.name = "2 lbs apples"}),
              (GroceryItem{.name = "apples", .quantity = 2, .unit = "pound"}));
    EXPECT_EQ(normalised({.name = "3 eggs", .unit = "dozen"}),
              (GroceryItem{.name = "eggs", .quantity = 3, .unit = "dozen"}));
    // A quantity and unit alone leave the name as written.
    EXPECT_EQ(normalised({.name = "2 cups"}),
              (GroceryItem{.name = "2 cups", .quantity = 2, .unit = "cup"}));
    for (const GroceryItem& unchanged :
         {GroceryItem{.name = "2 lbs apples", .quantity = 5}, GroceryItem{.name = "milk"},
          GroceryItem{.name = "1-2 lemons"}, GroceryItem{.name = " "}}) {
        EXPECT_EQ(normalised(unchanged), unchanged) << unchanged.name;
    }
}
