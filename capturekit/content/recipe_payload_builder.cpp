#include <capturekit/content/recipe_payload_builder.hpp>

#include <capturekit/content/ingredient_parser.hpp>
#include <capturekit/platform/text.hpp>

namespace capturekit::RecipePayloadBuilder {

std::optional<RecipePayload> from(const RecipeData& recipe,
                                  const std::optional<std::string>& sourceURL,
                                  const std::optional<std::string>& imageURL) {
    auto title = text::trimmedOptional(recipe.name);
    if (!title || !recipe.isUsable()) {
        return std::nullopt;
    }
    RecipePayload payload{
        .title = std::move(*title),
        .sourceURL = text::trimmedOptional(sourceURL),
        .imageURL = text::trimmedOptional(imageURL),
        .servings = IngredientParser::servings(recipe.servings),
        .totalMinutes = recipe.totalMinutes(),
    };
    for (const std::string& line : recipe.ingredients) {
        payload.ingredients.push_back(IngredientParser::parse(line));
    }
    for (const std::string& step : recipe.steps) {
        if (auto kept = text::trimmedNonEmpty(step)) {
            payload.steps.push_back(std::move(*kept));
        }
    }
    return payload;
}

} // namespace capturekit::RecipePayloadBuilder
