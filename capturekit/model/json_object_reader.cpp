#include <capturekit/model/json_object_reader.hpp>

#include <cmath>
#include <limits>

namespace capturekit {

namespace jsonValue {

namespace {

std::unexpected<CodingError> problem(CodingError::Kind kind) {
    return std::unexpected(CodingError::at(kind, {}));
}

// 2^63: the first double past the range of a 64-bit signed integer.
constexpr double integerLimit = 9223372036854775808.0;

} // namespace

std::expected<std::string, CodingError> decodeString(const Json& json) {
    if (!json.is_string()) {
        return problem(CodingError::Kind::wrongType);
    }
    return json.get<std::string>();
}

std::expected<bool, CodingError> decodeBool(const Json& json) {
    if (!json.is_boolean()) {
        return problem(CodingError::Kind::wrongType);
    }
    return json.get<bool>();
}

std::expected<double, CodingError> decodeNumber(const Json& json) {
    if (!json.is_number()) {
        return problem(CodingError::Kind::wrongType);
    }
    const double value = json.get<double>();
    if (!std::isfinite(value)) {
        return problem(CodingError::Kind::nonFiniteNumber);
    }
    return value;
}

std::expected<std::int64_t, CodingError> decodeInteger(const Json& json) {
    if (json.is_number_unsigned()) {
        const auto value = json.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return problem(CodingError::Kind::numberOutOfRange);
        }
        return static_cast<std::int64_t>(value);
    }
    if (json.is_number_integer()) {
        return json.get<std::int64_t>();
    }
    if (!json.is_number_float()) {
        return problem(CodingError::Kind::wrongType);
    }
    const double value = json.get<double>();
    if (!std::isfinite(value)) {
        return problem(CodingError::Kind::nonFiniteNumber);
    }
    if (std::trunc(value) != value) {
        return problem(CodingError::Kind::wrongType);
    }
    if (value < -integerLimit || value >= integerLimit) {
        return problem(CodingError::Kind::numberOutOfRange);
    }
    return static_cast<std::int64_t>(value);
}

std::expected<Date, CodingError> decodeDate(const Json& json) {
    const auto seconds = decodeNumber(json);
    if (!seconds) {
        return std::unexpected(seconds.error());
    }
    if (const auto date = dates::fromSecondsSince2001(*seconds)) {
        return *date;
    }
    return problem(CodingError::Kind::numberOutOfRange);
}

} // namespace jsonValue

JsonObjectReader::JsonObjectReader(const Json& object) : object_(object) {
    if (!object.is_object()) {
        fail(CodingError::at(CodingError::Kind::wrongType, {}));
    }
}

const Json* JsonObjectReader::member(std::string_view key, bool required) {
    const Json* value = json::member(object_, key);
    if (value != nullptr && !value->is_null()) {
        return value;
    }
    if (required) {
        fail(CodingError::at(CodingError::Kind::missingValue, key));
    }
    return nullptr;
}

void JsonObjectReader::fail(CodingError error) {
    if (!error_) {
        error_ = std::move(error);
    }
}

} // namespace capturekit
