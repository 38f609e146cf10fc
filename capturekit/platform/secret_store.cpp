#include <capturekit/platform/secret_store.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/secret_service_store.hpp>
#include <capturekit/platform/text.hpp>

#include <cstdlib>

namespace capturekit {

std::string SecretStoreError::description() const {
    switch (kind) {
    case Kind::unavailable:
        return "No keyring is available to keep your credentials on this computer. Start a "
               "Secret Service such as GNOME Keyring, or set TARVO_SECRET_STORE=file to keep them "
               "in a plain file that only you can read.";
    case Kind::timedOut:
        return "The keyring did not answer in time. It may be locked; unlock it and try again.";
    case Kind::failed:
        break;
    }
    return detail.empty() ? "The credential store could not complete the request."
                          : "The credential store could not complete the request: " + detail;
}

SecretStore::Kind SecretStore::kindForSetting(std::optional<std::string_view> setting) {
    if (setting && text::lowercased(text::trimmed(*setting)) == "file") {
        return Kind::plainFile;
    }
    return Kind::secretService;
}

namespace {

SecretStore* chooseStore() {
    const char* setting = std::getenv("TARVO_SECRET_STORE");
    const auto kind = SecretStore::kindForSetting(
        setting == nullptr ? std::nullopt : std::optional<std::string_view>(setting));
    if (kind == SecretStore::Kind::plainFile) {
        const auto file = FileSecretStore::defaultPath();
        Logger(application::identifier(), "secrets")
            .notice("Credentials are kept in a plain file: " + file.string());
        return new FileSecretStore(file);
    }
    return new SecretServiceStore();
}

} // namespace

SecretStore& SecretStore::active() {
    static SecretStore* store = chooseStore(); // lives for the whole process
    return *store;
}

bool SecretStore::usesPlainFile() {
    return active().kind() == Kind::plainFile;
}

} // namespace capturekit
