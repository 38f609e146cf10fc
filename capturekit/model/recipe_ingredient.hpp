#pragma once

// One ingredient line after parsing: a name with an optional quantity, canonical unit and note.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>

namespace capturekit {

struct RecipeIngredient {
    std::string name{};
    std::optional<double> quantity{};
    std::optional<std::string> unit{};
    std::optional<std::string> note{};

    // Fails on a quantity that is not a finite number.
    std::expected<OrderedJson, CodingError> toJson() const;
    static std::expected<RecipeIngredient, CodingError> fromJson(const Json& json);

    bool operator==(const RecipeIngredient&) const = default;
};

} // namespace capturekit
