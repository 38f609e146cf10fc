#include <capturekit/account/jwt_claims.hpp>

#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/json.hpp>

#include <vector>

namespace capturekit {

namespace {

std::vector<std::string_view> nonEmptyPieces(std::string_view token) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= token.size()) {
        const std::size_t dot = token.find('.', start);
        const std::size_t end = dot == std::string_view::npos ? token.size() : dot;
        if (end > start) {
            pieces.push_back(token.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

// base64url to padded standard Base64.
std::string standardBase64(std::string_view segment) {
    std::string out(segment);
    for (char& c : out) {
        c = c == '-' ? '+' : c == '_' ? '/' : c;
    }
    while (out.size() % 4 != 0) {
        out.push_back('=');
    }
    return out;
}

} // namespace

JWTClaims::JWTClaims(std::string_view token) {
    const auto pieces = nonEmptyPieces(token);
    if (pieces.size() < 2) {
        return;
    }
    const auto payload = base64::decode(standardBase64(pieces[1]));
    if (!payload) {
        return;
    }
    const auto object = json::parse(*payload);
    if (!object || !object->is_object()) {
        return;
    }
    if (const auto exp = json::number(*object, "exp")) {
        expiry = dates::fromSecondsSince1970(*exp);
    }
    subject = json::string(*object, "sub");
    email = json::string(*object, "email");
}

} // namespace capturekit
