#pragma once

// Salted PBKDF2-HMAC-SHA256 password hashes.

#include <string>
#include <string_view>

namespace devbackend {

struct PasswordHash {
    std::string salt; // hexadecimal
    int iterations = 0;
    std::string hash; // hexadecimal

    static PasswordHash make(std::string_view password);
    bool matches(std::string_view password) const;
};

} // namespace devbackend
