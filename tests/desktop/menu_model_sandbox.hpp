#pragma once

// The one sandbox a menu-model test program shares: the library reads its configuration once per
// process, so the XDG folders and the plain-file secret store are set before any of it is read,
// and each test starts from empty settings and data.

#include <capturekit/account/capture_config.hpp>

#include <support/temporary_folder.hpp>

#include <cstdlib>
#include <filesystem>

namespace tarvo::test {

inline TemporaryFolder& menuModelSandbox() {
    static TemporaryFolder folder;
    return folder;
}

// Call from a static initializer, before any configuration is read.
inline bool useMenuModelSandbox() {
    ::setenv("XDG_CONFIG_HOME", (menuModelSandbox() / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (menuModelSandbox() / "data").c_str(), 1);
    ::setenv("TARVO_SECRET_STORE", "file", 1);
    return true;
}

// Empties both preference domains (key by key: the process keeps the databases open) and the
// data folder.
inline void resetMenuModelSandbox() {
    for (const auto& preferences : {capturekit::CaptureConfig::standardPreferences(),
                                    capturekit::CaptureConfig::appGroupPreferences()}) {
        for (const auto& key : preferences.keys()) {
            preferences.remove(key);
        }
    }
    std::filesystem::remove_all(menuModelSandbox() / "data");
}

} // namespace tarvo::test
