#pragma once

// The suggestion service's classification of a capture, decoded leniently: a malformed field
// leaves only that field absent.

#include <capturekit/model/cabinet_category.hpp>
#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/model/grocery_item.hpp>
#include <capturekit/model/person_match.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

struct Suggestion {
    std::optional<Destination> destination;
    double confidence = 0;
    std::optional<std::string> reason;
    std::optional<std::string> title;
    std::optional<std::string> cleanText;
    std::optional<std::string> entryType;
    std::optional<std::vector<std::string>> personNames;
    std::optional<PersonMatch> personMatch;
    std::optional<std::string> hearthKind;
    std::optional<std::vector<GroceryItem>> groceryItems;
    std::optional<Destination> hintDestination;
    std::optional<CabinetCategory> cabinetCategory;
    std::optional<std::string> rawCabinetCategory;

    // Absent only when the value is not a JSON object.
    static std::optional<Suggestion> fromJson(const Json& json);
    static std::optional<Suggestion> decode(std::string_view body);

    // "confidence" always; every other key only when present. An unknown raw category is not
    // written back.
    std::expected<OrderedJson, CodingError> toJson() const;

    bool operator==(const Suggestion&) const = default;
};

} // namespace capturekit
