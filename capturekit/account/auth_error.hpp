#pragma once

#include <string>

namespace capturekit {

// The error of every sign-in and session operation, with the sentence shown to the person.
struct AuthError {
    enum class Kind {
        invalidCredentials,
        server,
        network,
        malformedResponse,
        notConfigured,
        keychainUnavailable,
    };

    Kind kind = Kind::malformedResponse;
    int status = 0;      // server only
    std::string message; // invalidCredentials, server, network

    static AuthError invalidCredentials(std::string message);
    static AuthError server(int status, std::string message);
    static AuthError network(std::string message);
    static AuthError malformedResponse();
    static AuthError notConfigured();
    static AuthError keychainUnavailable();

    std::string description() const;

    bool operator==(const AuthError&) const = default;
};

} // namespace capturekit
