#pragma once

// Where credentials are kept: the Secret Service (the desktop keyring) by default, or, only when
// the person opts in with TARVO_SECRET_STORE=file, a plain file readable by the user alone. Items
// are byte strings identified by (service, account); they are never synchronised anywhere.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

struct SecretStoreError {
    enum class Kind {
        unavailable, // no keyring to talk to, and the plain file store not chosen
        timedOut,    // the keyring did not answer in time (locked, or stuck)
        failed,      // the store refused or could not complete the request
    };
    Kind kind = Kind::failed;
    std::string detail; // the system's own wording, for `failed`

    // A full sentence for people; for `unavailable` it names the TARVO_SECRET_STORE opt-in.
    std::string description() const;
    bool operator==(const SecretStoreError&) const = default;
};

// How well an item is shielded from other users of the machine.
enum class SecretProtection {
    ownerOnly,      // only this user can read it
    weakerThanOwner // the file or its folder is open to other users
};

class SecretStore {
public:
    enum class Kind { secretService, plainFile };

    virtual ~SecretStore() = default;

    virtual Kind kind() const = 0;
    // The item's bytes, or absent when there is no such item.
    virtual std::expected<std::optional<std::string>, SecretStoreError>
    read(std::string_view service, std::string_view account) = 0;
    // Stores the bytes, replacing the item's old value.
    virtual std::expected<void, SecretStoreError>
    write(std::string_view service, std::string_view account, std::string_view secret) = 0;
    // True when an item was removed, false when there was none.
    virtual std::expected<bool, SecretStoreError> remove(std::string_view service,
                                                         std::string_view account) = 0;
    // The protection of a stored item; absent when there is no item or it cannot be read.
    virtual std::optional<SecretProtection> protection(std::string_view service,
                                                       std::string_view account) = 0;
    // Rewrites a stored item whose protection is weaker than owner-only so that it is owner-only;
    // true when it was rewritten.
    virtual bool harden(std::string_view service, std::string_view account) = 0;

    // The store this process uses, chosen once from TARVO_SECRET_STORE.
    static SecretStore& active();
    // Whether credentials are kept in a plain file (status displays say so).
    static bool usesPlainFile();
    // The store named by a TARVO_SECRET_STORE value: "file" (any case, spaces around ignored)
    // chooses the plain file; anything else, or nothing, the Secret Service.
    static Kind kindForSetting(std::optional<std::string_view> setting);
};

} // namespace capturekit
