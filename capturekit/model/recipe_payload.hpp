#pragma once

// A recipe as sent to the household destination.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/recipe_ingredient.hpp>
#include <capturekit/platform/json.hpp>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace capturekit {

struct RecipePayload {
    std::string title{};
    std::optional<std::string> sourceURL{};
    std::optional<std::string> imageURL{};
    std::vector<RecipeIngredient> ingredients{};
    std::vector<std::string> steps{};
    std::optional<std::int64_t> servings{};
    std::optional<std::int64_t> totalMinutes{};

    // Fails on an ingredient quantity that is not a finite number.
    std::expected<OrderedJson, CodingError> toJson() const;
    static std::expected<RecipePayload, CodingError> fromJson(const Json& json);

    bool operator==(const RecipePayload&) const = default;
};

} // namespace capturekit
