#include <capturekit/account/token_store.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/crypto.hpp>
#include <capturekit/platform/text.hpp>

namespace capturekit::TokenStore {

std::string service(const CaptureEnvironment& environment) {
    return "com.merrow.loft.capture" + environment.keychainServiceSuffix;
}

KeychainItem item(SecretStore& store) {
    static const std::string name = service(CaptureConfig::environment());
    return KeychainItem(std::string(account), name, store);
}

std::optional<std::string> read(SecretStore& store) {
    auto bytes = item(store).read();
    if (!bytes || !text::isValidUTF8(*bytes)) {
        return std::nullopt;
    }
    return bytes;
}

std::expected<void, SecretStoreError> save(std::string_view token, SecretStore& store) {
    return item(store).write(token);
}

bool remove(SecretStore& store) {
    return item(store).remove();
}

bool hasToken(SecretStore& store) {
    return read(store).has_value();
}

std::string identityOf(std::string_view token) {
    return "token:" + crypto::sha256Hex(token).substr(0, 16);
}

std::optional<std::string> identity(SecretStore& store) {
    const auto token = read(store);
    return token ? std::optional(identityOf(*token)) : std::nullopt;
}

void hardenStorage(SecretStore& store) {
    item(store).upgradeProtection();
}

} // namespace capturekit::TokenStore
