#include <capturekit/model/recipe_data.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>
#include <capturekit/platform/text.hpp>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace capturekit {

namespace {

// Whole minutes are exact in a double up to 2^53; a longer duration is no recipe's.
constexpr double longestDurationMinutes = 9007199254740992.0;

std::vector<std::string>
trimmedNonEmptyLines(const std::optional<std::vector<std::string>>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines.value_or(std::vector<std::string>{})) {
        if (auto kept = text::trimmedNonEmpty(line)) {
            out.push_back(std::move(*kept));
        }
    }
    return out;
}

// The number written immediately before the first `designator`: the run of number characters
// and decimal marks ("." or ",") ending just before it. 0 when there is no such letter or the
// run does not read as a decimal number.
double durationPart(std::string_view duration, char designator) {
    const std::size_t at = duration.find(designator);
    if (at == std::string_view::npos) {
        return 0;
    }
    const std::u32string before = text::codePoints(duration.substr(0, at));
    std::size_t start = before.size();
    while (start > 0 && (text::isNumber(before[start - 1]) || before[start - 1] == U'.' ||
                         before[start - 1] == U',')) {
        --start;
    }
    std::u32string run = before.substr(start);
    std::ranges::replace(run, U',', U'.');
    return text::parseDouble(text::fromCodePoints(run)).value_or(0);
}

std::optional<std::string> detailsLine(const RecipeData& recipe) {
    std::vector<std::string> parts;
    if (auto servings = text::trimmedOptional(recipe.servings)) {
        parts.push_back("Serves " + *servings);
    }
    if (auto duration = RecipeData::humanDuration(recipe.totalTime)) {
        parts.push_back(std::move(*duration));
    }
    if (auto author = text::trimmedOptional(recipe.author)) {
        parts.push_back("by " + *author);
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    return text::joined(parts, " \u00B7 ");
}

} // namespace

std::optional<RecipeData> RecipeData::from(const Json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    const auto trimmedString = [&](std::string_view key) {
        return text::trimmedOptional(json::string(value, key));
    };
    RecipeData recipe{
        .name = trimmedString("name"),
        .ingredients = trimmedNonEmptyLines(json::stringArray(value, "ingredients")),
        .steps = trimmedNonEmptyLines(json::stringArray(value, "steps")),
        .servings = trimmedString("servings"),
        .totalTime = trimmedString("totalTime"),
        .author = trimmedString("author"),
    };
    if (!recipe.isUsable()) {
        return std::nullopt;
    }
    return recipe;
}

bool RecipeData::isUsable() const {
    return !ingredients.empty() || steps.size() >= 2;
}

std::optional<std::int64_t> RecipeData::totalMinutes() const {
    return minutes(totalTime);
}

std::optional<std::int64_t> RecipeData::minutes(const std::optional<std::string>& iso) {
    if (!iso || !iso->starts_with("PT")) {
        return std::nullopt;
    }
    const std::string_view duration = std::string_view(*iso).substr(2);
    const double total = std::floor(durationPart(duration, 'H') * 60 + durationPart(duration, 'M'));
    if (!(total >= 1) || total > longestDurationMinutes) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(total);
}

std::optional<std::string> RecipeData::humanDuration(const std::optional<std::string>& iso) {
    const auto total = minutes(iso);
    if (!total) {
        return std::nullopt;
    }
    const std::int64_t hours = *total / 60;
    const std::int64_t rest = *total % 60;
    if (hours == 0) {
        return std::to_string(rest) + " min";
    }
    if (rest == 0) {
        return std::to_string(hours) + " hr";
    }
    return std::to_string(hours) + " hr " + std::to_string(rest) + " min";
}

std::optional<std::string> RecipeData::formatted() const {
    if (!isUsable()) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    if (auto title = text::trimmedOptional(name)) {
        lines.push_back(std::move(*title));
    }
    if (auto details = detailsLine(*this)) {
        lines.push_back(std::move(*details));
    }
    if (!ingredients.empty()) {
        lines.push_back("\nIngredients");
        for (const std::string& ingredient : ingredients) {
            lines.push_back("- " + ingredient);
        }
    }
    if (!steps.empty()) {
        lines.push_back("\nSteps");
        for (std::size_t i = 0; i < steps.size(); ++i) {
            lines.push_back(std::to_string(i + 1) + ". " + steps[i]);
        }
    }
    return text::joined(lines, "\n");
}

OrderedJson RecipeData::toJson() const {
    JsonObjectWriter writer;
    writer.write("name", name);
    writer.write("ingredients", ingredients);
    writer.write("steps", steps);
    writer.write("servings", servings);
    writer.write("totalTime", totalTime);
    writer.write("author", author);
    // Only numbers can fail to encode, and recipe data holds none.
    return *std::move(writer).finish();
}

std::expected<RecipeData, CodingError> RecipeData::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    RecipeData recipe{
        .name = reader.optional<std::string>("name"),
        .ingredients = reader.required<std::vector<std::string>>("ingredients"),
        .steps = reader.required<std::vector<std::string>>("steps"),
        .servings = reader.optional<std::string>("servings"),
        .totalTime = reader.optional<std::string>("totalTime"),
        .author = reader.optional<std::string>("author"),
    };
    return reader.finish(std::move(recipe));
}

} // namespace capturekit
