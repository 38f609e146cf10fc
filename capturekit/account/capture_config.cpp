#include <capturekit/account/capture_config.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/paths.hpp>
#include <capturekit/platform/url.hpp>

#include <tarvo/build_configuration.hpp>

namespace capturekit::CaptureConfig {

const CaptureEnvironment& environment() {
    return CaptureEnvironment::current();
}

CaptureEndpoints endpoints() {
    return CaptureEndpoints{environment()};
}

const std::string& appGroupID() {
    return environment().appGroupID;
}

const std::string& keychainAccessGroup() {
    return environment().keychainAccessGroup;
}

const std::string& keychainServiceSuffix() {
    return environment().keychainServiceSuffix;
}

const std::string& supabaseProjectID() {
    return environment().supabaseProjectID;
}

const std::string& webSuiteOrigin() {
    return environment().webSuiteOrigin;
}

std::optional<std::string> supabaseAnonKey() {
    const std::string& key = environment().supabaseAnonKey;
    return key.empty() ? std::nullopt : std::optional(key);
}

std::string_view webSuiteDomain() {
    return tarvo::build::webSuiteDomain;
}

const std::string& applicationID() {
    environment(); // the id is part of the configuration that the first use checks
    return application::identifier();
}

std::string ingestURL() {
    return endpoints().ingestURL();
}

std::string suggestURL() {
    return endpoints().suggestURL();
}

std::string transcribeURL() {
    return endpoints().transcribeURL();
}

std::string ingestDevicesURL() {
    return endpoints().ingestDevicesURL();
}

std::string appsEnabledRPCURL() {
    return endpoints().appsEnabledRPCURL();
}

std::string authTokenURL() {
    return endpoints().authTokenURL();
}

std::string authLogoutURL() {
    return endpoints().authLogoutURL();
}

std::string storageObjectURL(std::string_view path) {
    return endpoints().storageObjectURL(captureMediaBucket, path);
}

std::optional<std::string> webAppURL(std::string_view path) {
    return webAppURL(environment(), path);
}

std::optional<std::string> webAppURL(const CaptureEnvironment& environment, std::string_view path) {
    return url::resolvingAbsolutePath(environment.webSuiteOrigin, "/" + std::string(path) + "/");
}

Preferences appGroupPreferences() {
    return Preferences(appGroupID());
}

Preferences standardPreferences() {
    return Preferences(applicationID());
}

std::expected<std::filesystem::path, std::error_code> appGroupContainer() {
    return paths::appGroupContainer(appGroupID());
}

} // namespace capturekit::CaptureConfig
