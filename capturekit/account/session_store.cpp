#include <capturekit/account/session_store.hpp>

#include <capturekit/account/capture_config.hpp>

namespace capturekit::SessionStore {

std::string service(const CaptureEnvironment& environment) {
    return "com.merrow.loft.auth" + environment.keychainServiceSuffix;
}

KeychainItem item(SecretStore& store) {
    static const std::string name = service(CaptureConfig::environment());
    return KeychainItem(std::string(account), name, store);
}

std::optional<UserSession> read(SecretStore& store) {
    const auto bytes = item(store).read();
    return bytes ? UserSession::fromStoredForm(*bytes) : std::nullopt;
}

bool save(const UserSession& session, SecretStore& store) {
    return item(store).write(session.storedForm()).has_value();
}

bool remove(SecretStore& store) {
    return item(store).remove();
}

void hardenStorage(SecretStore& store) {
    item(store).upgradeProtection();
}

} // namespace capturekit::SessionStore
