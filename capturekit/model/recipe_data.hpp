#pragma once

// A recipe as extracted from a page: loose texts, before the ingredient lines are parsed.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace capturekit {

struct RecipeData {
    std::optional<std::string> name{};
    std::vector<std::string> ingredients{};
    std::vector<std::string> steps{};
    std::optional<std::string> servings{};
    // An ISO 8601 duration such as "PT1H30M".
    std::optional<std::string> totalTime{};
    std::optional<std::string> author{};

    OrderedJson toJson() const;
    static std::expected<RecipeData, CodingError> fromJson(const Json& json);

    bool operator==(const RecipeData&) const = default;
};

} // namespace capturekit
