#pragma once

// The two bearer-token sources and the process-wide pair of them: the device's own ingest token
// for captures, and the signed-in user's access token for calls made as the user.

#include <capturekit/account/auth_provider.hpp>
#include <capturekit/platform/secret_store.hpp>

namespace capturekit {

class SupabaseAuth;

// The stored device token, exactly as stored.
class DeviceTokenAuthProvider final : public AuthProvider {
public:
    explicit DeviceTokenAuthProvider(SecretStore* secrets = nullptr) : secrets_(secrets) {}
    std::optional<std::string> bearerToken(std::stop_token stop = {}) const override;

private:
    SecretStore* secrets_; // null: SecretStore::active()
};

// The session's access token, refreshed when needed.
class SupabaseJWTAuthProvider final : public AuthProvider {
public:
    explicit SupabaseJWTAuthProvider(SupabaseAuth* auth = nullptr) : auth_(auth) {}
    std::optional<std::string> bearerToken(std::stop_token stop = {}) const override;

private:
    SupabaseAuth* auth_; // null: SupabaseAuth::shared()
};

namespace Auth {

// The device-token provider the desktop app's clients are built with.
const AuthProvider& defaultProvider();
// The signed-in user's provider.
const AuthProvider& user();

} // namespace Auth

} // namespace capturekit
