#pragma once

// Reading the authentication service's token replies into a session or an AuthError.

#include <capturekit/account/auth_error.hpp>
#include <capturekit/account/user_session.hpp>
#include <capturekit/platform/http_session.hpp>

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

// A successful token reply. Optional keys may be missing or null; a present key of the wrong
// type makes the whole reply unreadable.
struct GoTrueToken {
    struct User {
        std::string id;
        std::optional<std::string> email;
    };

    std::string accessToken;
    std::string refreshToken;
    std::optional<long long> expiresIn;
    std::optional<double> expiresAt; // seconds since 1970
    std::optional<User> user;

    static std::optional<GoTrueToken> decode(std::string_view body);
};

// An error reply: five optional strings.
struct GoTrueFailure {
    std::optional<std::string> error;
    std::optional<std::string> errorDescription;
    std::optional<std::string> errorCode;
    std::optional<std::string> msg;
    std::optional<std::string> message;

    static std::optional<GoTrueFailure> decode(std::string_view body);
};

// The session a token reply gives, or the error it stands for. `requestedAt` is the instant just
// before the request was sent; expiries given as a duration count from it.
std::expected<UserSession, AuthError>
readTokenReply(const std::expected<HttpResponse, HttpError>& reply, Date requestedAt);

} // namespace capturekit
