#pragma once

// A recipe as extracted from a page: loose texts, before the ingredient lines are parsed.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <cstdint>
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

    // Built from loosely typed JSON: text members are trimmed (blank counts as absent) and members
    // of another type are ignored. Absent when the value is not an object or the recipe is not
    // usable.
    static std::optional<RecipeData> from(const Json& value);

    // At least one ingredient or at least two steps.
    bool isUsable() const;
    std::optional<std::int64_t> totalMinutes() const;
    // Whole minutes of a "PT" duration's hours and minutes (days and seconds are not counted);
    // absent below one minute. A part may carry a decimal fraction: "PT1.5H" is 90 minutes.
    static std::optional<std::int64_t> minutes(const std::optional<std::string>& iso);
    // "45 min", "2 hr" or "1 hr 30 min".
    static std::optional<std::string> humanDuration(const std::optional<std::string>& iso);
    // The recipe as plain text; absent when it is not usable.
    std::optional<std::string> formatted() const;

    OrderedJson toJson() const;
    static std::expected<RecipeData, CodingError> fromJson(const Json& json);

    bool operator==(const RecipeData&) const = default;
};

} // namespace capturekit
