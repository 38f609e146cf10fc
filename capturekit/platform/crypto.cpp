#include <capturekit/platform/crypto.hpp>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>

namespace capturekit::crypto {

SHA256Digest sha256(std::string_view data) {
    SHA256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) {
        std::fputs("SHA-256 is unavailable\n", stderr);
        std::abort();
    }
    return digest;
}

std::string hex(const std::uint8_t* data, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0x0F]);
    }
    return out;
}

std::string sha256Hex(std::string_view data) {
    const SHA256Digest digest = sha256(data);
    return hex(digest.data(), digest.size());
}

std::vector<std::uint8_t> secureRandomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
        std::fputs("the secure random source failed\n", stderr);
        std::abort();
    }
    return bytes;
}

} // namespace capturekit::crypto
