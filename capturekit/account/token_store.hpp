#pragma once

// The device's ingest token in the secret store: account "capture.device.token", service
// "com.merrow.loft.capture" followed by the environment's keychain service suffix, so production
// and staging tokens never mix. Stateless and callable from any thread.

#include <capturekit/account/capture_environment.hpp>
#include <capturekit/platform/keychain_item.hpp>

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit::TokenStore {

inline constexpr std::string_view account = "capture.device.token";

std::string service(const CaptureEnvironment& environment);
KeychainItem item(SecretStore& store = SecretStore::active());

// The stored token exactly as stored; absent without one or when it is not UTF-8.
std::optional<std::string> read(SecretStore& store = SecretStore::active());
std::expected<void, SecretStoreError> save(std::string_view token,
                                           SecretStore& store = SecretStore::active());
bool remove(SecretStore& store = SecretStore::active());
bool hasToken(SecretStore& store = SecretStore::active());
// The owner mark of the stored token: "token:" and the first 16 hex digits of its SHA-256.
std::optional<std::string> identity(SecretStore& store = SecretStore::active());
std::string identityOf(std::string_view token);
void hardenStorage(SecretStore& store = SecretStore::active());

} // namespace capturekit::TokenStore
