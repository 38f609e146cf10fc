#pragma once

// JSON on nlohmann. `OrderedJson` keeps insertion order and is used wherever key order is part of
// a format; parsing never throws.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

namespace json {

// Parses text; absent on malformed input (including invalid UTF-8 and trailing garbage).
std::optional<Json> parse(std::string_view text);
std::optional<OrderedJson> parseOrdered(std::string_view text);

// Compact text; invalid UTF-8 inside strings is replaced rather than thrown on.
std::string dump(const Json& value);
std::string dump(const OrderedJson& value);

// Typed member lookups that give absent for a missing key, a non-object or a wrong type.
std::optional<std::string> string(const Json& object, std::string_view key);
std::optional<bool> boolean(const Json& object, std::string_view key);
std::optional<double> number(const Json& object, std::string_view key);
std::optional<long long> integer(const Json& object, std::string_view key);
std::optional<std::vector<std::string>> stringArray(const Json& object, std::string_view key);
const Json* member(const Json& object, std::string_view key);

} // namespace json
} // namespace capturekit
