#include "password_hash.hpp"

#include <capturekit/platform/crypto.hpp>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace devbackend {

namespace crypto = capturekit::crypto;

namespace {

constexpr int defaultIterations = 100'000;

std::string derive(std::string_view password, std::string_view salt, int iterations) {
    std::array<std::uint8_t, 32> key{};
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(key.size()), key.data()) != 1) {
        std::fputs("PBKDF2 is unavailable\n", stderr);
        std::abort();
    }
    return crypto::hex(key.data(), key.size());
}

} // namespace

PasswordHash PasswordHash::make(std::string_view password) {
    const auto saltBytes = crypto::secureRandomBytes(16);
    PasswordHash result;
    result.salt = crypto::hex(saltBytes.data(), saltBytes.size());
    result.iterations = defaultIterations;
    result.hash = derive(password, result.salt, result.iterations);
    return result;
}

bool PasswordHash::matches(std::string_view password) const {
    if (iterations <= 0) {
        return false;
    }
    const std::string candidate = derive(password, salt, iterations);
    return candidate.size() == hash.size() &&
           CRYPTO_memcmp(candidate.data(), hash.data(), hash.size()) == 0;
}

} // namespace devbackend
