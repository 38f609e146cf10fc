// Parses arbitrary bytes as JSON and reads a recipe from it. A recipe that comes out is usable,
// holds trimmed non-blank texts, formats, stores and reads back, and makes an encodable payload
// whenever it has a name.

#include <capturekit/content/recipe_payload_builder.hpp>
#include <capturekit/model/recipe_data.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

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

bool isCleanText(const std::string& value) {
    return !value.empty() && text::isValidUTF8(value) && text::trimmed(value) == value;
}

bool isCleanOptional(const std::optional<std::string>& value) {
    return !value || isCleanText(*value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)RecipeData::humanDuration(std::string(input));
    const auto value = json::parse(input);
    if (!value) {
        return 0;
    }
    const auto recipe = RecipeData::from(*value);
    if (!recipe) {
        return 0;
    }
    require(recipe->isUsable() && recipe->formatted().has_value());
    require(isCleanOptional(recipe->name) && isCleanOptional(recipe->servings) &&
            isCleanOptional(recipe->totalTime) && isCleanOptional(recipe->author));
    for (const auto* lines : {&recipe->ingredients, &recipe->steps}) {
        for (const std::string& line : *lines) {
            require(isCleanText(line));
        }
    }
    const auto minutes = recipe->totalMinutes();
    require(!minutes || *minutes >= 1);
    require(minutes.has_value() == RecipeData::humanDuration(recipe->totalTime).has_value());

    const auto stored = json::parse(json::dump(recipe->toJson()));
    require(stored && RecipeData::fromJson(*stored) == *recipe);

    const auto payload = RecipePayloadBuilder::from(*recipe, recipe->author, recipe->name);
    require(payload.has_value() == recipe->name.has_value());
    if (payload) {
        require(payload->ingredients.size() == recipe->ingredients.size());
        require(payload->toJson().has_value());
    }
    return 0;
}
