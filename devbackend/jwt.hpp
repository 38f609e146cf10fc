#pragma once

// HS256 JSON Web Tokens: signing the access tokens and checking the ones presented.

#include <capturekit/platform/json.hpp>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace devbackend {

enum class JwtError {
    malformed,            // not three base64url segments of JSON objects
    unsupportedAlgorithm, // anything but HS256, "none" included
    badSignature,
    expired, // "exp" missing, or at or before now
};

std::string describe(JwtError error);

class JwtSigner {
public:
    explicit JwtSigner(std::string secret);

    std::string sign(const capturekit::Json& claims) const;
    // The claims of a token signed with this secret whose "exp" lies after `now` (seconds since
    // 1970).
    std::expected<capturekit::Json, JwtError> verify(std::string_view token,
                                                     std::int64_t now) const;

private:
    std::string signature(std::string_view signingInput) const;

    std::string secret_;
};

} // namespace devbackend
