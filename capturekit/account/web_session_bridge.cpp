#include <capturekit/account/web_session_bridge.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/web_session_cookies.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/url.hpp>

#include <map>
#include <optional>
#include <string>

namespace capturekit::WebSessionBridge {

namespace {

std::string sessionKey() {
    return WebSessionCookies::storageKey(CaptureConfig::supabaseProjectID());
}

bool belongsToSuiteDomain(std::string_view name) {
    const std::string_view domain = CaptureConfig::webSuiteDomain();
    return !domain.empty() && (name == domain || (name.ends_with(domain) &&
                                                  name[name.size() - domain.size() - 1] == '.'));
}

// Sets the cookies; false when the stored session cannot be formatted.
bool installCookies(WebsiteDataStore& store, const UserSession& session, Date now) {
    const auto pairs = WebSessionCookies::pairs(session, CaptureConfig::supabaseProjectID(), now);
    if (pairs.empty()) {
        return false;
    }
    const auto installedUser =
        CaptureConfig::appGroupPreferences().get<std::string>(installedUserKey);
    if (installedUser != session.userID) {
        clear(store);
    }
    for (const auto& [name, value] : pairs) {
        store.httpCookieStore().setCookie(WebCookie{.name = name,
                                                    .value = value,
                                                    .domain = WebSessionCookies::cookieDomain(),
                                                    .path = "/",
                                                    .secure = true,
                                                    .sameSite = WebCookie::SameSitePolicy::lax,
                                                    .expires = now + cookieLifetime});
    }
    return true;
}

bool store(const std::optional<UserSession>& session, SecretStore& secrets) {
    return session && SessionStore::save(*session, secrets);
}

std::optional<UserSession> fromLocalStorage(WebView& view) {
    const auto suiteHost = url::host(CaptureConfig::webSuiteOrigin());
    if (!suiteHost || view.currentHost() != suiteHost) {
        return std::nullopt;
    }
    const std::string read = "localStorage.getItem(" + Json(sessionKey()).dump() + ")";
    return view.evaluateJavaScript(read).and_then([](const std::string& text) {
        return WebSessionCookies::fromJSON(text, CaptureConfig::supabaseProjectID());
    });
}

std::optional<UserSession> fromCookies(const WebCookieStore& cookies) {
    const std::string key = sessionKey();
    std::map<std::string, std::string> byName;
    for (const auto& cookie : cookies.allCookies()) {
        if (!cookie.name.starts_with(key)) {
            continue;
        }
        // Of two cookies with one name, the one set for the suite's cookie domain wins.
        if (!byName.contains(cookie.name) || cookie.domain == WebSessionCookies::cookieDomain()) {
            byName[cookie.name] = cookie.value;
        }
    }
    return WebSessionCookies::from(byName, CaptureConfig::supabaseProjectID());
}

} // namespace

bool install(WebView& view, Date now, SecretStore& secrets) {
    const auto session = SessionStore::read(secrets);
    if (!session || !installCookies(view.websiteDataStore(), *session, now)) {
        return false;
    }
    if (auto script = WebSessionCookies::seedScript(*session, CaptureConfig::webSuiteOrigin(),
                                                    CaptureConfig::supabaseProjectID(), now)) {
        view.addUserScript(UserScript{.source = std::move(*script),
                                      .injectionTime = UserScript::InjectionTime::atDocumentStart,
                                      .forMainFrameOnly = true});
    }
    return true;
}

bool install(WebsiteDataStore& store, Date now, SecretStore& secrets) {
    const auto session = SessionStore::read(secrets);
    return session && installCookies(store, *session, now);
}

bool adopt(WebView& view, SecretStore& secrets) {
    auto session = fromLocalStorage(view);
    if (!session) {
        session = fromCookies(view.websiteDataStore().httpCookieStore());
    }
    return store(session, secrets);
}

bool adopt(WebCookieStore& cookies, SecretStore& secrets) {
    return store(fromCookies(cookies), secrets);
}

void clear(WebsiteDataStore& store) {
    const std::string key = sessionKey();
    WebCookieStore& cookies = store.httpCookieStore();
    for (const auto& cookie : cookies.allCookies()) {
        if (cookie.name.starts_with(key)) {
            cookies.deleteCookie(cookie);
        }
    }
    std::vector<WebsiteDataRecord> suiteRecords;
    for (auto& record : store.dataRecords()) {
        if (belongsToSuiteDomain(record.displayName)) {
            suiteRecords.push_back(std::move(record));
        }
    }
    if (!suiteRecords.empty()) {
        store.removeData(suiteRecords);
    }
    CaptureConfig::appGroupPreferences().remove(installedUserKey);
}

void clear(WebView& view) {
    clear(view.websiteDataStore());
}

} // namespace capturekit::WebSessionBridge
