#pragma once

#include <capturekit/platform/date_time.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

// The claims of a JWT's payload, read without verifying the signature. Never fails: a claim that
// cannot be read is absent.
struct JWTClaims {
    std::optional<Date> expiry;
    std::optional<std::string> subject;
    std::optional<std::string> email;

    JWTClaims() = default;
    explicit JWTClaims(std::string_view token);
};

} // namespace capturekit
