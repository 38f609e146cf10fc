#include <capturekit/account/auth_error.hpp>

#include <capturekit/account/platform_words.hpp>

namespace capturekit {

AuthError AuthError::invalidCredentials(std::string message) {
    return AuthError{Kind::invalidCredentials, 0, std::move(message)};
}

AuthError AuthError::server(int status, std::string message) {
    return AuthError{Kind::server, status, std::move(message)};
}

AuthError AuthError::network(std::string message) {
    return AuthError{Kind::network, 0, std::move(message)};
}

AuthError AuthError::malformedResponse() {
    return AuthError{Kind::malformedResponse, 0, {}};
}

AuthError AuthError::notConfigured() {
    return AuthError{Kind::notConfigured, 0, {}};
}

AuthError AuthError::keychainUnavailable() {
    return AuthError{Kind::keychainUnavailable, 0, {}};
}

std::string AuthError::description() const {
    switch (kind) {
    case Kind::invalidCredentials:
    case Kind::server:
        return message;
    case Kind::network:
        return "Couldn’t reach the server — " + message;
    case Kind::malformedResponse:
        return "The server sent something unexpected.";
    case Kind::notConfigured:
        return "Sign-in isn’t configured in this build.";
    case Kind::keychainUnavailable:
        return "Couldn’t save your session to the " + std::string(PlatformWords::keychain) + ".";
    }
    return {};
}

} // namespace capturekit
