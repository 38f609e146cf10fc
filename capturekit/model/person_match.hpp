#pragma once

// A known person a capture is about, as the suggestion service names them.

#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>

namespace capturekit {

struct PersonMatch {
    std::optional<std::string> personID;
    std::string name; // never empty
    std::optional<double> confidence;

    struct DecodingError {
        std::string description() const {
            return "person_match carried neither `name` nor `display_name`";
        }
        bool operator==(const DecodingError&) const = default;
    };

    // Accepts "person_id" or "id", "name" or "display_name" (trimmed), "confidence" or "score".
    static std::expected<PersonMatch, DecodingError> fromJson(const Json& json);
    OrderedJson toJson() const;

    bool operator==(const PersonMatch&) const = default;
};

} // namespace capturekit
