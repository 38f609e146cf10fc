// Reads arbitrary bytes as an ingredient line, a servings text and a grocery name. A line that is
// not blank always keeps a name; quantities are finite, units canonical, and the results encode.

#include <capturekit/content/grocery_item_normaliser.hpp>
#include <capturekit/content/ingredient_parser.hpp>
#include <capturekit/platform/text.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace capturekit;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const RecipeIngredient ingredient = IngredientParser::parse(line);
    const bool blank = text::isBlank(line);
    require(blank || (!ingredient.name.empty() && text::isValidUTF8(ingredient.name)));
    require(!ingredient.quantity || std::isfinite(*ingredient.quantity));
    require(!ingredient.unit ||
            (ingredient.quantity && IngredientParser::unit(*ingredient.unit) == ingredient.unit));
    require(!ingredient.note || (!ingredient.note->empty() && text::isValidUTF8(*ingredient.note)));
    require(ingredient.toJson().has_value());

    if (const auto quantity = IngredientParser::quantity(line)) {
        require(std::isfinite(quantity->value) && quantity->value >= 0);
    }
    if (const auto servings = IngredientParser::servings(std::string(line))) {
        require(*servings >= 0);
    }
    const GroceryItem grocery =
        GroceryItemNormaliser::normalised(GroceryItem{.name = std::string(line)});
    require(grocery.toJson().has_value());
    require(GroceryItemNormaliser::normalised(grocery) == grocery);
    return 0;
}
