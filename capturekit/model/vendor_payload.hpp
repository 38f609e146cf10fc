#pragma once

// A household vendor: a name and optional contact details.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>

namespace capturekit {

struct VendorPayload {
    std::string name{};
    std::optional<std::string> contactName{};
    std::optional<std::string> phone{};
    std::optional<std::string> email{};
    std::optional<std::string> website{};
    std::optional<std::string> notes{};

    OrderedJson toJson() const;
    static std::expected<VendorPayload, CodingError> fromJson(const Json& json);

    bool operator==(const VendorPayload&) const = default;
};

} // namespace capturekit
