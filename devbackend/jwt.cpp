#include "jwt.hpp"

#include <capturekit/platform/base64.hpp>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cmath>
#include <vector>

namespace devbackend {

using capturekit::Json;
namespace base64 = capturekit::base64;

namespace {

std::vector<std::string_view> segments(std::string_view token) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = token.find('.', start);
        parts.push_back(token.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) {
            return parts;
        }
        start = dot + 1;
    }
}

std::optional<Json> decodeObject(std::string_view segment) {
    // base64url without padding only, as tokens are written.
    if (segment.find('=') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto bytes = base64::decodeURL(segment);
    if (!bytes) {
        return std::nullopt;
    }
    auto value = capturekit::json::parse(*bytes);
    if (!value || !value->is_object()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string describe(JwtError error) {
    switch (error) {
    case JwtError::malformed:
        return "token is malformed";
    case JwtError::unsupportedAlgorithm:
        return "signing method is not HS256";
    case JwtError::badSignature:
        return "signature is invalid";
    case JwtError::expired:
        return "token is expired";
    }
    return "token is invalid";
}

JwtSigner::JwtSigner(std::string secret) : secret_(std::move(secret)) {}

std::string JwtSigner::signature(std::string_view signingInput) const {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), secret_.data(), static_cast<int>(secret_.size()),
         reinterpret_cast<const unsigned char*>(signingInput.data()), signingInput.size(), digest,
         &length);
    return base64::encodeURLUnpadded(
        std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string JwtSigner::sign(const Json& claims) const {
    static const std::string header = base64::encodeURLUnpadded(R"({"alg":"HS256","typ":"JWT"})");
    std::string input = header + "." + base64::encodeURLUnpadded(capturekit::json::dump(claims));
    return input + "." + signature(input);
}

std::expected<Json, JwtError> JwtSigner::verify(std::string_view token, std::int64_t now) const {
    const auto parts = segments(token);
    if (parts.size() != 3) {
        return std::unexpected(JwtError::malformed);
    }
    const auto header = decodeObject(parts[0]);
    const auto claims = decodeObject(parts[1]);
    if (!header || !claims) {
        return std::unexpected(JwtError::malformed);
    }
    if (capturekit::json::string(*header, "alg") != "HS256") {
        return std::unexpected(JwtError::unsupportedAlgorithm);
    }
    const std::string signingInput(token.substr(0, parts[0].size() + 1 + parts[1].size()));
    const std::string expected = signature(signingInput);
    if (expected.size() != parts[2].size() ||
        CRYPTO_memcmp(expected.data(), parts[2].data(), expected.size()) != 0) {
        return std::unexpected(JwtError::badSignature);
    }
    const auto expiry = capturekit::json::number(*claims, "exp");
    if (!expiry || !std::isfinite(*expiry) || *expiry <= static_cast<double>(now)) {
        return std::unexpected(JwtError::expired);
    }
    return *claims;
}

} // namespace devbackend
