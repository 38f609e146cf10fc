#pragma once

// Every backend URL, built from an environment's API base. The only place that spells endpoint
// paths; URLs are absolute URL text and are computed on each call.

#include <capturekit/account/capture_environment.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

struct CaptureEndpoints {
    CaptureEnvironment environment;
    // Replaces the environment's API base when set: a local backend chosen at run time (tests).
    std::optional<std::string> apiBaseOverride = std::nullopt;

    bool operator==(const CaptureEndpoints&) const = default;

    // The base every URL starts with: the override, else the environment's supabaseBase().
    std::string apiBase() const;
    // .../functions/v1/capture-<name>
    std::string functionURL(std::string_view name) const;
    std::string ingestURL() const;
    std::string suggestURL() const;
    std::string transcribeURL() const;
    // .../rest/v1/ingest_devices
    std::string ingestDevicesURL() const;
    // .../rest/v1/rpc/apps_enabled
    std::string appsEnabledRPCURL() const;
    // .../auth/v1/<name>
    std::string authURL(std::string_view name) const;
    std::string authTokenURL() const;
    std::string authLogoutURL() const;
    // .../storage/v1/object/<bucket>/<path>, the path percent-encoded with its slashes kept and
    // the bucket as given.
    std::string storageObjectURL(std::string_view bucket, std::string_view path) const;
};

} // namespace capturekit
