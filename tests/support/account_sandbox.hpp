#pragma once

// A private place for the app-group preferences and the secret store, for the tests that sign in,
// store tokens or keep captures.

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/file_secret_store.hpp>

#include <support/temporary_folder.hpp>

namespace tarvo::test {

// The app-group preferences (XDG_CONFIG_HOME) and a plain-file secret store in a fresh folder.
class AccountSandbox {
public:
    AccountSandbox()
        : config_("XDG_CONFIG_HOME", (folder_ / "config").c_str()),
          data_("XDG_DATA_HOME", (folder_ / "data").c_str()), secrets_(folder_ / "secrets.json") {}

    capturekit::FileSecretStore& secrets() { return secrets_; }
    std::filesystem::path lockFile() const { return folder_ / "session-refresh.lock"; }
    const TemporaryFolder& folder() const { return folder_; }

private:
    TemporaryFolder folder_;
    ScopedEnvironmentVariable config_;
    ScopedEnvironmentVariable data_;
    capturekit::FileSecretStore secrets_;
};

} // namespace tarvo::test
