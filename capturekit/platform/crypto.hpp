#pragma once

// Hashing and secure random bytes (OpenSSL).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit::crypto {

using SHA256Digest = std::array<std::uint8_t, 32>;

SHA256Digest sha256(std::string_view data);
// Lower-case hexadecimal of the SHA-256 digest (64 digits).
std::string sha256Hex(std::string_view data);
std::string hex(const std::uint8_t* data, std::size_t size);

// Bytes from the operating system's secure random source. Never returns fewer bytes than asked:
// a failing source is a fault that stops the process rather than weakening a key.
std::vector<std::uint8_t> secureRandomBytes(std::size_t count);

} // namespace capturekit::crypto
