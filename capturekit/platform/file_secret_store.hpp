#pragma once

// The plain file store: every item in one JSON file that only the user can read (mode 0600 in a
// folder of mode 0700), replaced atomically on each change. Processes sharing the file take turns
// through a lock file beside it.

#include <capturekit/platform/secret_store.hpp>

#include <filesystem>

namespace capturekit {

class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(std::filesystem::path file);

    // $XDG_DATA_HOME/<application id>/secrets.json
    static std::filesystem::path defaultPath();

    const std::filesystem::path& file() const { return file_; }
    // Whether the file exists and it or its folder is open to other users of the machine.
    bool isOpenToOthers() const;

    Kind kind() const override { return Kind::plainFile; }
    std::expected<std::optional<std::string>, SecretStoreError>
    read(std::string_view service, std::string_view account) override;
    std::expected<void, SecretStoreError> write(std::string_view service, std::string_view account,
                                                std::string_view secret) override;
    std::expected<bool, SecretStoreError> remove(std::string_view service,
                                                 std::string_view account) override;
    std::optional<SecretProtection> protection(std::string_view service,
                                               std::string_view account) override;
    bool harden(std::string_view service, std::string_view account) override;

private:
    std::filesystem::path file_;
};

} // namespace capturekit
