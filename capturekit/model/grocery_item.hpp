#pragma once

// One grocery: a name, and optionally a quantity and a unit.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>

namespace capturekit {

struct GroceryItem {
    std::string name{};
    std::optional<double> quantity{};
    std::optional<std::string> unit{};

    // Fails on a quantity that is not a finite number.
    std::expected<OrderedJson, CodingError> toJson() const;
    static std::expected<GroceryItem, CodingError> fromJson(const Json& json);

    bool operator==(const GroceryItem&) const = default;
};

} // namespace capturekit
