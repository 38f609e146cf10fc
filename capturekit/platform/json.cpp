#include <capturekit/platform/json.hpp>

#include <cmath>

namespace capturekit::json {

namespace {

template <typename J> std::optional<J> parseAs(std::string_view text) {
    J value = J::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<Json> parse(std::string_view text) {
    return parseAs<Json>(text);
}

std::optional<OrderedJson> parseOrdered(std::string_view text) {
    return parseAs<OrderedJson>(text);
}

std::string dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string dump(const OrderedJson& value) {
    return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> string(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

std::optional<bool> boolean(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_boolean()) {
        return std::nullopt;
    }
    return value->get<bool>();
}

std::optional<double> number(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    return value->get<double>();
}

std::optional<long long> integer(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    if (value->is_number_integer()) {
        return value->get<long long>();
    }
    const double d = value->get<double>();
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9.0e15) {
        return std::nullopt;
    }
    return static_cast<long long>(d);
}

std::optional<std::vector<std::string>> stringArray(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    out.reserve(value->size());
    for (const Json& element : *value) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        out.push_back(element.get<std::string>());
    }
    return out;
}

} // namespace capturekit::json
