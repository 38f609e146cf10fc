#include <capturekit/model/person_match.hpp>

#include <capturekit/platform/text.hpp>

#include <cmath>

namespace capturekit {

namespace {

std::optional<double> finiteNumber(const Json& json, std::string_view key) {
    const auto value = json::number(json, key);
    return value && std::isfinite(*value) ? value : std::nullopt;
}

} // namespace

std::expected<PersonMatch, PersonMatch::DecodingError> PersonMatch::fromJson(const Json& json) {
    auto name = json::string(json, "name");
    if (!name) {
        name = json::string(json, "display_name");
    }
    auto trimmedName = name ? text::trimmedNonEmpty(*name) : std::nullopt;
    if (!trimmedName) {
        return std::unexpected(DecodingError{});
    }
    auto personID = json::string(json, "person_id");
    if (!personID) {
        personID = json::string(json, "id");
    }
    auto confidence = finiteNumber(json, "confidence");
    if (!confidence) {
        confidence = finiteNumber(json, "score");
    }
    return PersonMatch{std::move(personID), std::move(*trimmedName), confidence};
}

OrderedJson PersonMatch::toJson() const {
    OrderedJson out = OrderedJson::object();
    if (personID) {
        out["person_id"] = *personID;
    }
    out["name"] = name;
    if (confidence) {
        out["confidence"] = *confidence;
    }
    return out;
}

} // namespace capturekit
