#include "caller.hpp"

#include "stamps.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

#include <algorithm>

namespace devbackend {

namespace json = capturekit::json;

namespace {

bool looksLikeJwt(std::string_view token) {
    return std::count(token.begin(), token.end(), '.') == 2;
}

CallerError fromJwtError(JwtError error) {
    switch (error) {
    case JwtError::malformed:
        return CallerError::malformedToken;
    case JwtError::unsupportedAlgorithm:
        return CallerError::unsupportedAlgorithm;
    case JwtError::badSignature:
        return CallerError::badSignature;
    case JwtError::expired:
        return CallerError::expired;
    }
    return CallerError::malformedToken;
}

} // namespace

std::string describe(CallerError error) {
    switch (error) {
    case CallerError::missingToken:
        return "no bearer token";
    case CallerError::malformedToken:
        return "token is malformed";
    case CallerError::unsupportedAlgorithm:
        return describe(JwtError::unsupportedAlgorithm);
    case CallerError::badSignature:
        return describe(JwtError::badSignature);
    case CallerError::expired:
        return describe(JwtError::expired);
    case CallerError::unknownDevice:
        return "unknown device token";
    }
    return "invalid token";
}

std::optional<std::string> CallerResolver::bearer(const httplib::Request& request) {
    const std::string header = request.get_header_value("Authorization");
    constexpr std::string_view scheme = "bearer ";
    if (header.size() <= scheme.size() ||
        capturekit::text::lowercased(header.substr(0, scheme.size())) != scheme) {
        return std::nullopt;
    }
    return capturekit::text::trimmedNonEmpty(std::string_view(header).substr(scheme.size()));
}

std::expected<Caller, CallerError> CallerResolver::fromToken(const std::string& token) const {
    if (token == anonymousKey_) {
        return Caller{};
    }
    const auto now = stamps::secondsNow();
    const auto claims = signer_.verify(token, now);
    if (!claims) {
        return std::unexpected(fromJwtError(claims.error()));
    }
    const auto subject = json::string(*claims, "sub");
    if (json::string(*claims, "role") != "authenticated" || !subject || subject->empty()) {
        return Caller{};
    }
    return Caller{.kind = Caller::Kind::user,
                  .userID = *subject,
                  .email = json::string(*claims, "email").value_or(""),
                  .sessionID = json::string(*claims, "session_id").value_or("")};
}

std::expected<Caller, CallerError>
CallerResolver::fromAccessToken(const httplib::Request& request) const {
    const auto token = bearer(request);
    if (!token) {
        return std::unexpected(CallerError::missingToken);
    }
    return fromToken(*token);
}

std::expected<Caller, CallerError>
CallerResolver::fromDeviceOrAccessToken(const httplib::Request& request) const {
    const auto token = bearer(request);
    if (!token) {
        return std::unexpected(CallerError::missingToken);
    }
    if (*token == anonymousKey_ || looksLikeJwt(*token)) {
        return fromToken(*token);
    }
    const auto device = devices_.findByToken(*token);
    if (!device) {
        return std::unexpected(CallerError::unknownDevice);
    }
    return Caller{.kind = Caller::Kind::device, .userID = device->userID, .deviceID = device->id};
}

} // namespace devbackend
