#pragma once

// The source of the bearer token an HTTP client sends. Blocking and callable from any thread; it
// never fails: absent means there is nothing to authenticate with.

#include <optional>
#include <stop_token>
#include <string>

namespace capturekit {

class AuthProvider {
public:
    virtual ~AuthProvider() = default;
    virtual std::optional<std::string> bearerToken(std::stop_token stop = {}) const = 0;
};

} // namespace capturekit
