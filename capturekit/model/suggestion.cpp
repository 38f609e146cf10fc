#include <capturekit/model/suggestion.hpp>

#include <capturekit/platform/text.hpp>

#include <cmath>

namespace capturekit {

namespace {

// Lower-cased raw value; the hand-picked-only destination is never suggested.
std::optional<Destination> suggestedDestination(const Json& json, std::string_view key) {
    const auto raw = json::string(json, key);
    if (!raw) {
        return std::nullopt;
    }
    const auto destination = fromRawValue<Destination>(text::lowercased(*raw));
    if (!destination || isExplicitOnly(*destination)) {
        return std::nullopt;
    }
    return destination;
}

// A number, or a string that is wholly a finite decimal number in the C locale; else 0.
double confidenceOf(const Json& json) {
    const Json* value = json::member(json, "confidence");
    std::optional<double> number;
    if (value != nullptr && value->is_number()) {
        number = value->get<double>();
    } else if (value != nullptr && value->is_string()) {
        number = text::parseDouble(value->get_ref<const std::string&>());
    }
    return number && std::isfinite(*number) ? *number : 0;
}

std::optional<std::vector<GroceryItem>> groceriesOf(const Json& json) {
    const Json* list = json::member(json, "grocery_items");
    if (list == nullptr || !list->is_array()) {
        return std::nullopt;
    }
    std::vector<GroceryItem> items;
    items.reserve(list->size());
    for (const Json& element : *list) {
        auto item = GroceryItem::fromJson(element);
        if (!item) {
            return std::nullopt;
        }
        items.push_back(std::move(*item));
    }
    return items;
}

} // namespace

std::optional<Suggestion> Suggestion::fromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    Suggestion s;
    s.destination = suggestedDestination(json, "destination");
    s.confidence = confidenceOf(json);
    s.reason = json::string(json, "reason");
    s.title = json::string(json, "title");
    s.cleanText = json::string(json, "clean_text");
    s.entryType = json::string(json, "entry_type");
    s.personNames = json::stringArray(json, "person_names");
    if (const Json* match = json::member(json, "person_match")) {
        if (auto person = PersonMatch::fromJson(*match)) {
            s.personMatch = std::move(*person);
        }
    }
    s.hearthKind = text::trimmedOptional(json::string(json, "hearth_kind"));
    s.groceryItems = groceriesOf(json);
    s.hintDestination = suggestedDestination(json, "hint_destination");
    s.rawCabinetCategory = json::string(json, "cabinet_category");
    if (s.rawCabinetCategory) {
        s.cabinetCategory = fromRawValue<CabinetCategory>(text::lowercased(*s.rawCabinetCategory));
    }
    return s;
}

std::optional<Suggestion> Suggestion::decode(std::string_view body) {
    const auto json = json::parse(body);
    return json ? fromJson(*json) : std::nullopt;
}

std::expected<OrderedJson, CodingError> Suggestion::toJson() const {
    if (!std::isfinite(confidence)) {
        return std::unexpected(CodingError::at(CodingError::Kind::nonFiniteNumber, "confidence"));
    }
    OrderedJson out = OrderedJson::object();
    const auto put = [&out](const char* key, const auto& value) {
        if (value) {
            out[key] = *value;
        }
    };
    if (destination) {
        out["destination"] = rawValue(*destination);
    }
    out["confidence"] = confidence;
    put("reason", reason);
    put("title", title);
    put("clean_text", cleanText);
    put("entry_type", entryType);
    put("person_names", personNames);
    if (personMatch) {
        out["person_match"] = personMatch->toJson();
    }
    put("hearth_kind", hearthKind);
    if (groceryItems) {
        OrderedJson list = OrderedJson::array();
        for (const GroceryItem& item : *groceryItems) {
            auto encoded = item.toJson();
            if (!encoded) {
                return std::unexpected(encoded.error().inside("grocery_items"));
            }
            list.push_back(std::move(*encoded));
        }
        out["grocery_items"] = std::move(list);
    }
    if (hintDestination) {
        out["hint_destination"] = rawValue(*hintDestination);
    }
    if (cabinetCategory) {
        out["cabinet_category"] = rawValue(*cabinetCategory);
    }
    return out;
}

} // namespace capturekit
