#include <capturekit/delivery/apps_enabled.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/notification_center.hpp>
#include <capturekit/platform/text.hpp>

#include <algorithm>

namespace capturekit::AppsEnabled {

namespace {

// How old the cache is; absent when there is none or it claims to come from the future (the
// clock was turned back), which must not keep it trusted or unrefreshed until the clock catches up.
std::optional<Date::duration> cacheAge(const Clock& clock) {
    const auto fetchedAt = SharedState::appsEnabledFetchedAt();
    if (!fetchedAt || *fetchedAt > clock.now()) {
        return std::nullopt;
    }
    return clock.now() - *fetchedAt;
}

std::optional<std::set<std::string>> fetch(const AuthProvider& auth, std::stop_token stop,
                                           HttpTransport& transport,
                                           const CaptureEndpoints& endpoints) {
    const auto bearer = auth.bearerToken(stop);
    const std::string token = bearer ? text::trimmed(*bearer) : std::string();
    if (token.empty()) {
        return std::nullopt;
    }
    OrderedJson body;
    body["p_keys"] = gatedKeys();
    HttpRequest request{"POST",
                        endpoints.appsEnabledRPCURL(),
                        {{"Content-Type", "application/json"},
                         {"apikey", endpoints.environment.supabaseAnonKey},
                         {"Authorization", "Bearer " + token}},
                        json::dump(body),
                        CaptureConfig::appsEnabledTimeout};
    const auto reply = transport.perform(request, stop);
    if (!reply || reply->statusCode < 200 || reply->statusCode > 299) {
        return std::nullopt;
    }
    return disabledKeys(reply->body);
}

} // namespace

const std::vector<std::string>& gatedKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> list;
        for (const Destination destination : allCases<Destination>()) {
            if (std::ranges::find(destinations::pending, destination) ==
                destinations::pending.end()) {
                list.emplace_back(appKey(destination));
            }
        }
        return list;
    }();
    return keys;
}

bool isEnabled(Destination destination, const Clock& clock) {
    const auto age = cacheAge(clock);
    if (!age || *age >= cacheLifetime) {
        return true;
    }
    return !SharedState::disabledAppKeys().contains(std::string(appKey(destination)));
}

void refresh(const AuthProvider& auth, bool force, std::stop_token stop,
             const Connection& connection) {
    const Clock& clock = connection.clock ? *connection.clock : SystemClock::shared();
    if (!force) {
        if (const auto age = cacheAge(clock); age && *age < refreshInterval) {
            return;
        }
    }
    HttpTransport& transport = connection.transport ? *connection.transport : HttpSession::shared();
    const auto fetched =
        fetch(auth, stop, transport, connection.endpoints.value_or(CaptureConfig::endpoints()));
    if (!fetched) {
        return;
    }
    const bool changed = *fetched != SharedState::disabledAppKeys();
    SharedState::setDisabledAppKeys(*fetched);
    SharedState::setAppsEnabledFetchedAt(clock.now());
    if (changed) {
        NotificationCenter::shared().post(didChangeNotification);
    }
}

void clearCache() {
    const bool hadDisabled = !SharedState::disabledAppKeys().empty();
    SharedState::setDisabledAppKeys({});
    SharedState::setAppsEnabledFetchedAt(std::nullopt);
    if (hadDisabled) {
        NotificationCenter::shared().post(didChangeNotification);
    }
}

std::optional<std::set<std::string>> disabledKeys(std::string_view replyBody) {
    const auto rows = json::parse(replyBody);
    if (!rows || !rows->is_array()) {
        return std::nullopt;
    }
    std::set<std::string> disabled;
    for (const Json& row : *rows) {
        const auto key = row.is_object() ? json::string(row, "app_key") : std::nullopt;
        const auto enabled = row.is_object() ? json::boolean(row, "enabled") : std::nullopt;
        if (!key || !enabled) {
            return std::nullopt;
        }
        if (!*enabled) {
            disabled.insert(*key);
        }
    }
    return disabled;
}

} // namespace capturekit::AppsEnabled
