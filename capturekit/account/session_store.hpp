#pragma once

// The signed-in session's item in the secret store: account "capture.user.session", service
// "com.merrow.loft.auth" followed by the environment's keychain service suffix. Stateless and
// callable from any thread; every operation takes the store it works on (the process's own by
// default).

#include <capturekit/account/capture_environment.hpp>
#include <capturekit/account/user_session.hpp>
#include <capturekit/platform/keychain_item.hpp>

#include <optional>
#include <string>

namespace capturekit::SessionStore {

inline constexpr std::string_view account = "capture.user.session";

// The service name of an environment's session item.
std::string service(const CaptureEnvironment& environment);
// The item itself, for this process's environment.
KeychainItem item(SecretStore& store = SecretStore::active());

// Absent when nothing is stored or the stored bytes are not a session (which are left alone).
std::optional<UserSession> read(SecretStore& store = SecretStore::active());
bool save(const UserSession& session, SecretStore& store = SecretStore::active());
// True when an item was removed.
bool remove(SecretStore& store = SecretStore::active());
// Rewrites an item stored with weaker protection than owner-only.
void hardenStorage(SecretStore& store = SecretStore::active());

} // namespace capturekit::SessionStore
