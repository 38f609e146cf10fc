#pragma once

// One credential, identified by (account, service), in the process's secret store: the desktop
// keyring, or the plain file store when the person opted in to it.

#include <capturekit/platform/secret_store.hpp>

#include <string>

namespace capturekit {

class KeychainItem {
public:
    // An item of SecretStore::active().
    KeychainItem(std::string account, std::string service);
    // An item of the given store, which must outlive the item.
    KeychainItem(std::string account, std::string service, SecretStore& store);

    const std::string& account() const { return account_; }
    const std::string& service() const { return service_; }

    // The stored bytes; absent when there is no item or the store cannot be read.
    std::optional<std::string> read() const;
    // The same, telling a missing item apart from an unreachable store.
    std::expected<std::optional<std::string>, SecretStoreError> lookup() const;
    // Stores the bytes in place of any old value.
    std::expected<void, SecretStoreError> write(std::string_view bytes) const;
    // True when an item was removed.
    bool remove() const;

    // How the stored item is protected; absent when there is none.
    std::optional<SecretProtection> protection() const;
    // Rewrites the item when its protection is weaker than owner-only; true when rewritten.
    bool upgradeProtection() const;

private:
    std::string account_;
    std::string service_;
    SecretStore* store_;
};

} // namespace capturekit
