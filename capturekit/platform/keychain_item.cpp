#include <capturekit/platform/keychain_item.hpp>

namespace capturekit {

KeychainItem::KeychainItem(std::string account, std::string service)
    : KeychainItem(std::move(account), std::move(service), SecretStore::active()) {}

KeychainItem::KeychainItem(std::string account, std::string service, SecretStore& store)
    : account_(std::move(account)), service_(std::move(service)), store_(&store) {}

std::optional<std::string> KeychainItem::read() const {
    auto stored = lookup();
    return stored ? std::move(*stored) : std::nullopt;
}

std::expected<std::optional<std::string>, SecretStoreError> KeychainItem::lookup() const {
    return store_->read(service_, account_);
}

std::expected<void, SecretStoreError> KeychainItem::write(std::string_view bytes) const {
    return store_->write(service_, account_, bytes);
}

bool KeychainItem::remove() const {
    const auto removed = store_->remove(service_, account_);
    return removed && *removed;
}

std::optional<SecretProtection> KeychainItem::protection() const {
    return store_->protection(service_, account_);
}

bool KeychainItem::upgradeProtection() const {
    return store_->harden(service_, account_);
}

} // namespace capturekit
