#pragma once

// Why a value could not be read from or written to JSON. The path names the offending member
// ("recipe.ingredients[2].name"); it is empty when the whole value is at fault.

#include <cstddef>
#include <string>
#include <string_view>

namespace capturekit {

struct CodingError {
    enum class Kind {
        malformedJSON,
        missingValue,
        wrongType,
        unknownValue,
        nonFiniteNumber,
        numberOutOfRange,
    };

    Kind kind = Kind::malformedJSON;
    std::string path{};

    static CodingError malformedJSON() { return {Kind::malformedJSON, {}}; }
    static CodingError at(Kind kind, std::string_view path) { return {kind, std::string(path)}; }

    // The same error seen from the object that holds the member `key` (or element `index`).
    CodingError inside(std::string_view key) const;
    CodingError inside(std::size_t index) const;

    std::string description() const;

    bool operator==(const CodingError&) const = default;
};

} // namespace capturekit
