#include <capturekit/content/grocery_item_normaliser.hpp>

#include <capturekit/content/ingredient_parser.hpp>

namespace capturekit::GroceryItemNormaliser {

GroceryItem normalised(const GroceryItem& item) {
    if (item.quantity) {
        return item;
    }
    RecipeIngredient parsed = IngredientParser::parse(item.name);
    if (!parsed.quantity && !parsed.unit) {
        return item;
    }
    GroceryItem out = item;
    if (!parsed.name.empty()) {
        out.name = std::move(parsed.name);
    }
    out.quantity = parsed.quantity;
    if (parsed.unit) {
        out.unit = std::move(parsed.unit);
    }
    return out;
}

} // namespace capturekit::GroceryItemNormaliser
