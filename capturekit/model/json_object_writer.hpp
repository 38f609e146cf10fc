#pragma once

// Writes typed members into one ordered JSON object, in the order they are written. Absent
// optionals are left out (never written as null). Encoding can fail only on a number that JSON
// cannot hold (NaN or an infinity): the writer keeps the first such problem with its path.
//
// Supported member types mirror JsonObjectReader: std::string, bool, double, std::int64_t, Date
// (seconds since 2001-01-01 00:00:00 UTC), the raw-value enumerations, std::vector of these, and
// any type with a `toJson()` member returning OrderedJson or std::expected<OrderedJson,
// CodingError>.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/raw_value.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/json.hpp>

#include <cmath>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace capturekit {

namespace jsonValue {

template <typename T> std::expected<OrderedJson, CodingError> encode(const T& value);

template <typename T>
std::expected<OrderedJson, CodingError> encodeArray(const std::vector<T>& values) {
    OrderedJson out = OrderedJson::array();
    for (std::size_t i = 0; i < values.size(); ++i) {
        auto element = encode(values[i]);
        if (!element) {
            return std::unexpected(element.error().inside(i));
        }
        out.push_back(std::move(*element));
    }
    return out;
}

template <typename T> std::expected<OrderedJson, CodingError> encode(const T& value) {
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, bool> ||
                  std::is_same_v<T, std::int64_t>) {
        return OrderedJson(value);
    } else if constexpr (std::is_same_v<T, double>) {
        if (!std::isfinite(value)) {
            return std::unexpected(CodingError::at(CodingError::Kind::nonFiniteNumber, {}));
        }
        return OrderedJson(value);
    } else if constexpr (std::is_same_v<T, Date>) {
        return OrderedJson(dates::secondsSince2001(value));
    } else if constexpr (RawRepresentable<T>) {
        return OrderedJson(std::string(rawValue(value)));
    } else if constexpr (IsVector<T>::value) {
        return encodeArray(value);
    } else {
        return value.toJson();
    }
}

} // namespace jsonValue

class JsonObjectWriter {
public:
    template <typename T> void write(std::string_view key, const T& value) {
        if (error_) {
            return;
        }
        auto encoded = jsonValue::encode(value);
        if (!encoded) {
            error_ = encoded.error().inside(key);
            return;
        }
        object_[std::string(key)] = std::move(*encoded);
    }

    template <typename T> void write(std::string_view key, const std::optional<T>& value) {
        if (value) {
            write(key, *value);
        }
    }

    // The object, or the first problem met while writing it.
    std::expected<OrderedJson, CodingError> finish() && {
        if (error_) {
            return std::unexpected(*error_);
        }
        return std::move(object_);
    }

private:
    OrderedJson object_ = OrderedJson::object();
    std::optional<CodingError> error_;
};

} // namespace capturekit
