#pragma once

// Reads the members of one JSON object into typed values. A decoder reads every field and checks
// once at the end: the reader keeps the first problem it meets (with the member's path) and gives
// defaults after it. Absent members and JSON null count as absent; a present member of the wrong
// type is an error, never a silent default.
//
// Supported member types: std::string, bool, double (finite), std::int64_t, Date (the stored form:
// seconds since 2001-01-01 00:00:00 UTC), the raw-value enumerations, std::vector of any of these,
// and any type with `static std::expected<T, CodingError> fromJson(const Json&)`.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/raw_value.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/json.hpp>

#include <concepts>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace capturekit {

template <typename T>
concept JsonDecodable = requires(const Json& json) {
    { T::fromJson(json) } -> std::same_as<std::expected<T, CodingError>>;
};

template <typename T> struct IsVector : std::false_type {};
template <typename T> struct IsVector<std::vector<T>> : std::true_type {};

namespace jsonValue {

std::expected<std::string, CodingError> decodeString(const Json& json);
std::expected<bool, CodingError> decodeBool(const Json& json);
std::expected<double, CodingError> decodeNumber(const Json& json);
std::expected<std::int64_t, CodingError> decodeInteger(const Json& json);
std::expected<Date, CodingError> decodeDate(const Json& json);

template <typename T> std::expected<T, CodingError> decode(const Json& json);

template <typename T> std::expected<std::vector<T>, CodingError> decodeArray(const Json& json) {
    if (!json.is_array()) {
        return std::unexpected(CodingError::at(CodingError::Kind::wrongType, {}));
    }
    std::vector<T> out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        auto element = decode<T>(json[i]);
        if (!element) {
            return std::unexpected(element.error().inside(i));
        }
        out.push_back(std::move(*element));
    }
    return out;
}

template <typename T> std::expected<T, CodingError> decode(const Json& json) {
    if constexpr (std::is_same_v<T, std::string>) {
        return decodeString(json);
    } else if constexpr (std::is_same_v<T, bool>) {
        return decodeBool(json);
    } else if constexpr (std::is_same_v<T, double>) {
        return decodeNumber(json);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return decodeInteger(json);
    } else if constexpr (std::is_same_v<T, Date>) {
        return decodeDate(json);
    } else if constexpr (RawRepresentable<T>) {
        return fromJson<T>(json);
    } else if constexpr (IsVector<T>::value) {
        return decodeArray<typename T::value_type>(json);
    } else {
        static_assert(JsonDecodable<T>, "no JSON decoding for this type");
        return T::fromJson(json);
    }
}

} // namespace jsonValue

class JsonObjectReader {
public:
    // A value that is not an object is an error of the whole value.
    explicit JsonObjectReader(const Json& object);

    // The member's value; a missing member is an error and gives a default value.
    template <typename T> T required(std::string_view key) {
        return read<T>(key, true).value_or(T{});
    }

    template <typename T> std::optional<T> optional(std::string_view key) {
        return read<T>(key, false);
    }

    const std::optional<CodingError>& error() const { return error_; }

    // The decoded value, or the first problem met while reading it.
    template <typename T> std::expected<T, CodingError> finish(T value) const {
        if (error_) {
            return std::unexpected(*error_);
        }
        return value;
    }

private:
    // The member, or null when it is absent or JSON null.
    const Json* member(std::string_view key, bool required);
    void fail(CodingError error);

    template <typename T> std::optional<T> read(std::string_view key, bool required) {
        const Json* value = member(key, required);
        if (value == nullptr) {
            return std::nullopt;
        }
        auto decoded = jsonValue::decode<T>(*value);
        if (!decoded) {
            fail(decoded.error().inside(key));
            return std::nullopt;
        }
        return std::move(*decoded);
    }

    const Json& object_;
    std::optional<CodingError> error_;
};

} // namespace capturekit
