#include <capturekit/account/auth_providers.hpp>

#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/account/token_store.hpp>

namespace capturekit {

std::optional<std::string> DeviceTokenAuthProvider::bearerToken(std::stop_token) const {
    return TokenStore::read(secrets_ ? *secrets_ : SecretStore::active());
}

std::optional<std::string> SupabaseJWTAuthProvider::bearerToken(std::stop_token stop) const {
    return (auth_ ? *auth_ : SupabaseAuth::shared()).validAccessToken(stop);
}

namespace Auth {

const AuthProvider& defaultProvider() {
    static const DeviceTokenAuthProvider provider;
    return provider;
}

const AuthProvider& user() {
    static const SupabaseJWTAuthProvider provider;
    return provider;
}

} // namespace Auth

} // namespace capturekit
