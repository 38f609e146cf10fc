#pragma once

// Who is calling: the "Authorization: Bearer …" token read as the anonymous key, a user's access
// token or a registered device token.

#include "device_registry.hpp"
#include "jwt.hpp"

#include <expected>
#include <optional>
#include <string>

namespace httplib {
struct Request;
}

namespace devbackend {

struct Caller {
    enum class Kind { anonymous, user, device };
    Kind kind = Kind::anonymous;
    std::string userID{}; // empty for anonymous callers
    std::string email{};
    std::string sessionID{}; // of an access token
    std::string deviceID{};  // of a device token
};

enum class CallerError {
    missingToken,
    malformedToken,
    unsupportedAlgorithm,
    badSignature,
    expired,
    unknownDevice,
};

std::string describe(CallerError error);

class CallerResolver {
public:
    CallerResolver(const JwtSigner& signer, DeviceRegistry& devices, std::string anonymousKey)
        : signer_(signer), devices_(devices), anonymousKey_(std::move(anonymousKey)) {}

    // The token after "Bearer " (the scheme in any case); absent without one.
    static std::optional<std::string> bearer(const httplib::Request& request);

    // The anonymous key, or a user's access token.
    std::expected<Caller, CallerError> fromAccessToken(const httplib::Request& request) const;
    // A registered device token, or what `fromAccessToken` accepts.
    std::expected<Caller, CallerError>
    fromDeviceOrAccessToken(const httplib::Request& request) const;

private:
    std::expected<Caller, CallerError> fromToken(const std::string& token) const;

    const JwtSigner& signer_;
    DeviceRegistry& devices_;
    std::string anonymousKey_;
};

} // namespace devbackend
