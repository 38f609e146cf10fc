#pragma once

// Gives this device its own ingest token: made here from 32 secure random bytes, registered with
// the backend only as its SHA-256 hash, and kept in the secret store.

#include <capturekit/account/auth_provider.hpp>
#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/platform/http_session.hpp>
#include <capturekit/platform/secret_store.hpp>

#include <expected>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace capturekit::DeviceTokenMinter {

struct MintError {
    enum class Kind { server, notSignedIn, notConfigured, keychain };
    Kind kind = Kind::server;
    int status = 0;       // server only
    std::string bodyText; // server only: at most 200 characters of the reply

    static MintError server(int status, std::string bodyText);
    static MintError notSignedIn();
    static MintError notConfigured();
    static MintError keychain();

    std::string description() const;
    bool operator==(const MintError&) const = default;
};

// Why minting failed: a MintError, or the transport's own failure passed on unchanged.
struct Failure {
    std::variant<MintError, HttpError> reason;
    std::string description() const;
};

struct Services {
    HttpTransport* transport = nullptr;        // HttpSession::shared()
    const AuthProvider* userAuth = nullptr;    // Auth::user()
    SecretStore* secrets = nullptr;            // SecretStore::active()
    std::optional<CaptureEndpoints> endpoints; // CaptureConfig::endpoints()
};

// Registers a new token under the display name and platform tag, stores it and returns it.
std::expected<std::string, Failure> mint(std::string_view name, std::string_view source,
                                         std::stop_token stop = {}, const Services& services = {});

// "vlt_" and the unpadded base64url of the bytes.
std::string tokenFromBytes(const std::vector<std::uint8_t>& bytes);
std::string makeToken();

// This computer's display name for the registration: its localized name, else "Linux".
std::string deviceName();

} // namespace capturekit::DeviceTokenMinter
