#pragma once

// Closed sets of the wire vocabulary are `enum class`es whose cases each have one fixed raw
// string. An enumeration takes part by specialising `RawValues` with the raw strings in
// declaration order; it then gets its raw value, `id`, construction from a raw value (exact match
// only: no trimming, no case folding), the list of all cases, and JSON coding as the raw string.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace capturekit {

template <typename E> struct RawValues;

template <typename E>
concept RawRepresentable = std::is_enum_v<E> && requires {
    { RawValues<E>::names.size() } -> std::convertible_to<std::size_t>;
};

template <RawRepresentable E> constexpr std::string_view rawValue(E value) {
    return RawValues<E>::names[static_cast<std::size_t>(std::to_underlying(value))];
}

// The identifier of a case is its raw value.
template <RawRepresentable E> constexpr std::string_view id(E value) {
    return rawValue(value);
}

template <RawRepresentable E> constexpr std::optional<E> fromRawValue(std::string_view raw) {
    for (std::size_t i = 0; i < RawValues<E>::names.size(); ++i) {
        if (RawValues<E>::names[i] == raw) {
            return static_cast<E>(i);
        }
    }
    return std::nullopt;
}

// Every case, in declaration order.
template <RawRepresentable E> constexpr auto allCases() {
    std::array<E, RawValues<E>::names.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        cases[i] = static_cast<E>(i);
    }
    return cases;
}

template <RawRepresentable E> Json toJson(E value) {
    return std::string(rawValue(value));
}

template <RawRepresentable E> std::expected<E, CodingError> fromJson(const Json& value) {
    if (!value.is_string()) {
        return std::unexpected(CodingError::at(CodingError::Kind::wrongType, {}));
    }
    if (const auto parsed = fromRawValue<E>(value.get_ref<const std::string&>())) {
        return *parsed;
    }
    return std::unexpected(CodingError::at(CodingError::Kind::unknownValue, {}));
}

} // namespace capturekit
