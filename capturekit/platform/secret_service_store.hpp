#pragma once

// Items in the desktop keyring through the Secret Service (libsecret), with the attributes
// "service" and "account". Every call has a time limit: a locked keyring that waits for a
// password, or a bus that does not answer, gives `timedOut` instead of hanging the caller.

#include <capturekit/platform/secret_store.hpp>

#include <chrono>

namespace capturekit {

class SecretServiceStore final : public SecretStore {
public:
    static constexpr std::chrono::milliseconds defaultTimeLimit{10000};

    explicit SecretServiceStore(std::chrono::milliseconds timeLimit = defaultTimeLimit);

    // Whether a session bus is configured at all ($DBUS_SESSION_BUS_ADDRESS or
    // $XDG_RUNTIME_DIR/bus); without one every call is `unavailable` at once.
    static bool hasSessionBus();

    Kind kind() const override { return Kind::secretService; }
    std::expected<std::optional<std::string>, SecretStoreError>
    read(std::string_view service, std::string_view account) override;
    std::expected<void, SecretStoreError> write(std::string_view service, std::string_view account,
                                                std::string_view secret) override;
    std::expected<bool, SecretStoreError> remove(std::string_view service,
                                                 std::string_view account) override;
    // A keyring item is private to the user's keyring: owner-only whenever it exists.
    std::optional<SecretProtection> protection(std::string_view service,
                                               std::string_view account) override;
    // Keyring items have nothing weaker to upgrade from; always false.
    bool harden(std::string_view service, std::string_view account) override;

private:
    std::chrono::milliseconds timeLimit_;
};

} // namespace capturekit
