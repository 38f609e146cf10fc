#pragma once

// The process-wide configuration values the rest of the library reads, all of them taken from
// CaptureEnvironment::current(). The first use of any of them chooses the environment.

#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/account/capture_environment.hpp>
#include <capturekit/platform/preferences.hpp>

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace capturekit::CaptureConfig {

const CaptureEnvironment& environment();
CaptureEndpoints endpoints();

const std::string& appGroupID();
const std::string& keychainAccessGroup();
const std::string& keychainServiceSuffix();
const std::string& supabaseProjectID();
const std::string& webSuiteOrigin();
// Optional by type; both environments have one.
std::optional<std::string> supabaseAnonKey();
// The suite's registrable web domain.
std::string_view webSuiteDomain();
// This build's application id (the standard preferences domain, the credentials folder).
const std::string& applicationID();

std::string ingestURL();
std::string suggestURL();
std::string transcribeURL();
std::string ingestDevicesURL();
std::string appsEnabledRPCURL();
std::string authTokenURL();
std::string authLogoutURL();

inline constexpr std::string_view captureMediaBucket = "capture-media";
// The storage object URL of `path` in captureMediaBucket.
std::string storageObjectURL(std::string_view path);

// The web suite's page for a path: "/" + path + "/" resolved against webSuiteOrigin (path
// inserted verbatim). Absent when that is not a valid reference, or when it would lead to another
// host (a path starting with "/").
std::optional<std::string> webAppURL(std::string_view path);
std::optional<std::string> webAppURL(const CaptureEnvironment& environment, std::string_view path);

// Request timeouts: ingest, suggest, the sign-in token and logout calls, device registration and
// the apps-enabled call.
inline constexpr std::chrono::seconds ingestTimeout{30};
inline constexpr std::chrono::seconds suggestTimeout{8};
inline constexpr std::chrono::seconds authTimeout{15};
inline constexpr std::chrono::seconds deviceRegistrationTimeout{20};
inline constexpr std::chrono::seconds appsEnabledTimeout{6};

// The app-group preferences suite shared by the suite's programs, and this program's own
// standard preferences.
Preferences appGroupPreferences();
Preferences standardPreferences();
// The app-group container folder, created (0700) when missing.
std::expected<std::filesystem::path, std::error_code> appGroupContainer();

} // namespace capturekit::CaptureConfig
