#pragma once

// A social profile a capture refers to ("instagram", "x" or "linkedin" and a handle).

#include <capturekit/model/coding_error.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <string>

namespace capturekit {

struct SocialIdentityPayload {
    std::string platform{};
    std::string handle{};

    OrderedJson toJson() const;
    static std::expected<SocialIdentityPayload, CodingError> fromJson(const Json& json);

    bool operator==(const SocialIdentityPayload&) const = default;
};

} // namespace capturekit
