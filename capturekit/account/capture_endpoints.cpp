#include <capturekit/account/capture_endpoints.hpp>

#include <capturekit/platform/url.hpp>

namespace capturekit {

std::string CaptureEndpoints::apiBase() const {
    return apiBaseOverride.value_or(environment.supabaseBase());
}

std::string CaptureEndpoints::functionURL(std::string_view name) const {
    return url::appendingPath(apiBase(), "functions/v1/capture-" + std::string(name));
}

std::string CaptureEndpoints::ingestURL() const {
    return functionURL("ingest");
}

std::string CaptureEndpoints::suggestURL() const {
    return functionURL("suggest");
}

std::string CaptureEndpoints::transcribeURL() const {
    return functionURL("transcribe");
}

std::string CaptureEndpoints::ingestDevicesURL() const {
    return url::appendingPath(apiBase(), "rest/v1/ingest_devices");
}

std::string CaptureEndpoints::appsEnabledRPCURL() const {
    return url::appendingPath(apiBase(), "rest/v1/rpc/apps_enabled");
}

std::string CaptureEndpoints::authURL(std::string_view name) const {
    return url::appendingPath(apiBase(), "auth/v1/" + std::string(name));
}

std::string CaptureEndpoints::authTokenURL() const {
    return authURL("token");
}

std::string CaptureEndpoints::authLogoutURL() const {
    return authURL("logout");
}

std::string CaptureEndpoints::storageObjectURL(std::string_view bucket,
                                               std::string_view path) const {
    return apiBase() + "/storage/v1/object/" + std::string(bucket) + "/" + url::encodePath(path);
}

} // namespace capturekit
