#include <capturekit/account/device_token_minter.hpp>

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/account/platform_words.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/crypto.hpp>
#include <capturekit/platform/host_name.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

namespace capturekit::DeviceTokenMinter {

namespace {

constexpr std::size_t tokenByteCount = 32;
constexpr std::size_t maxBodyCharacters = 200;

std::optional<std::string> userIDFor(const std::string& bearer, SecretStore& secrets) {
    if (auto subject = JWTClaims(bearer).subject) {
        return subject;
    }
    auto session = SessionStore::read(secrets);
    return session ? std::optional(std::move(session->userID)) : std::nullopt;
}

HttpRequest registration(const CaptureEndpoints& endpoints, const std::string& bearer,
                         const std::string& userID, std::string_view name, std::string_view source,
                         std::string_view token) {
    OrderedJson body;
    body["user_id"] = userID;
    body["name"] = std::string(name);
    body["source"] = std::string(source);
    body["token_hash"] = crypto::sha256Hex(token);
    return HttpRequest{"POST",
                       endpoints.ingestDevicesURL(),
                       {{"Content-Type", "application/json"},
                        {"apikey", endpoints.environment.supabaseAnonKey},
                        {"Authorization", "Bearer " + bearer},
                        {"Prefer", "return=minimal"}},
                       json::dump(body),
                       CaptureConfig::deviceRegistrationTimeout};
}

std::string replyText(const std::string& body) {
    return text::isValidUTF8(body) ? text::characterPrefix(body, maxBodyCharacters) : std::string();
}

} // namespace

MintError MintError::server(int status, std::string bodyText) {
    return {Kind::server, status, std::move(bodyText)};
}
MintError MintError::notSignedIn() {
    return {Kind::notSignedIn, 0, {}};
}
MintError MintError::notConfigured() {
    return {Kind::notConfigured, 0, {}};
}
MintError MintError::keychain() {
    return {Kind::keychain, 0, {}};
}

std::string MintError::description() const {
    switch (kind) {
    case Kind::server:
        return bodyText.empty() ? "Couldn't register this device (" + std::to_string(status) + ")."
                                : bodyText;
    case Kind::notSignedIn:
        return "Sign in first — a capture token belongs to your account.";
    case Kind::notConfigured:
        return "This build has no Supabase key.";
    case Kind::keychain:
        return "Couldn't save the token to the " + std::string(PlatformWords::keychain) + ".";
    }
    return {};
}

std::string Failure::description() const {
    if (const auto* error = std::get_if<MintError>(&reason)) {
        return error->description();
    }
    return std::get<HttpError>(reason).description;
}

std::string tokenFromBytes(const std::vector<std::uint8_t>& bytes) {
    return "vlt_" + base64::encodeURLUnpadded(std::string_view(
                        reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string makeToken() {
    return tokenFromBytes(crypto::secureRandomBytes(tokenByteCount));
}

std::string deviceName() {
    return host::localizedName().value_or(std::string(PlatformWords::deviceName));
}

std::expected<std::string, Failure> mint(std::string_view name, std::string_view source,
                                         std::stop_token stop, const Services& services) {
    const auto fail = [](auto reason) {
        return std::unexpected(Failure{std::move(reason)});
    };
    SecretStore& secrets = services.secrets ? *services.secrets : SecretStore::active();
    const CaptureEndpoints endpoints =
        services.endpoints.value_or(CaptureEndpoints{CaptureConfig::environment()});
    const AuthProvider& userAuth = services.userAuth ? *services.userAuth : Auth::user();

    const auto bearerToken = userAuth.bearerToken(stop);
    const std::string bearer = bearerToken ? text::trimmed(*bearerToken) : std::string();
    if (bearer.empty()) {
        return fail(MintError::notSignedIn());
    }
    const auto userID = userIDFor(bearer, secrets);
    if (!userID) {
        return fail(MintError::notSignedIn());
    }
    if (endpoints.environment.supabaseAnonKey.empty()) {
        return fail(MintError::notConfigured());
    }
    std::string token = makeToken();
    HttpTransport& transport = services.transport ? *services.transport : HttpSession::shared();
    const auto reply =
        transport.perform(registration(endpoints, bearer, *userID, name, source, token), stop);
    if (!reply) {
        return fail(reply.error());
    }
    if (reply->statusCode < 200 || reply->statusCode > 299) {
        return fail(MintError::server(reply->statusCode, replyText(reply->body)));
    }
    if (!TokenStore::save(token, secrets)) {
        return fail(MintError::keychain());
    }
    return token;
}

} // namespace capturekit::DeviceTokenMinter
