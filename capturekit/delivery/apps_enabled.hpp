#pragma once

// Which of the suite's apps the signed-in user switched off, asked of the backend and cached in
// the shared state. A cache missing or a day old counts every destination as enabled.

#include <capturekit/account/auth_provider.hpp>
#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/http_session.hpp>

#include <chrono>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit::AppsEnabled {

inline constexpr std::string_view didChangeNotification = "CaptureKit.appsEnabledDidChange";
// A refresh without force is skipped while the cache is younger than this.
inline constexpr std::chrono::seconds refreshInterval{300};
// isEnabled trusts the cache while it is younger than this.
inline constexpr std::chrono::seconds cacheLifetime{86400};

// The app keys the backend is asked about: every destination's, in declaration order, except
// those not live yet.
const std::vector<std::string>& gatedKeys();

bool isEnabled(Destination destination, const Clock& clock = SystemClock::shared());

// Where a refresh sends its request; the process's own by default.
struct Connection {
    HttpTransport* transport = nullptr;        // HttpSession::shared()
    const Clock* clock = nullptr;              // SystemClock::shared()
    std::optional<CaptureEndpoints> endpoints; // CaptureConfig::endpoints()
};

// Fetches the disabled apps and updates the cache, posting didChangeNotification when the set
// changed. Never fails visibly: any failure leaves the cache as it was.
void refresh(const AuthProvider& auth, bool force, std::stop_token stop = {},
             const Connection& connection = {});

// Forgets the cache (sign-in and sign-out), posting didChangeNotification when apps were off.
void clearCache();

// The disabled keys of a reply body: the app keys of rows whose "enabled" is false. Absent when
// the body is not an array of rows.
std::optional<std::set<std::string>> disabledKeys(std::string_view replyBody);

} // namespace capturekit::AppsEnabled
