#pragma once

// What the web session bridge needs of an embedded web view: its cookie store, its website data
// (removable per site), user scripts and script evaluation, and the host of the page it shows.
// A surface that embeds a browser engine implements these over it; InMemoryWebView stands in
// where there is none. This library ships no embedded browser.

#include <capturekit/platform/date_time.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

struct WebCookie {
    enum class SameSitePolicy { none, lax, strict };

    std::string name{};
    std::string value{};
    std::string domain{}; // ".tarvo.app" also matches its subdomains
    std::string path = "/";
    bool secure = false;
    SameSitePolicy sameSite = SameSitePolicy::lax;
    std::optional<Date> expires{}; // absent for a cookie of the browsing session

    // Cookies are the same cookie when name, domain and path agree.
    bool sameCookieAs(const WebCookie& other) const {
        return name == other.name && domain == other.domain && path == other.path;
    }
    bool operator==(const WebCookie&) const = default;
};

class WebCookieStore {
public:
    virtual ~WebCookieStore() = default;
    virtual std::vector<WebCookie> allCookies() const = 0;
    // Replaces the same cookie when there is one.
    virtual void setCookie(const WebCookie& cookie) = 0;
    virtual void deleteCookie(const WebCookie& cookie) = 0;
};

// The stored data of one site (cookies, local storage, caches), named by its domain.
struct WebsiteDataRecord {
    std::string displayName{};
    bool operator==(const WebsiteDataRecord&) const = default;
};

class WebsiteDataStore {
public:
    virtual ~WebsiteDataStore() = default;
    virtual WebCookieStore& httpCookieStore() = 0;
    // Every site that has data of any type.
    virtual std::vector<WebsiteDataRecord> dataRecords() const = 0;
    // Removes data of every type of the given sites.
    virtual void removeData(const std::vector<WebsiteDataRecord>& records) = 0;
};

struct UserScript {
    enum class InjectionTime { atDocumentStart, atDocumentEnd };

    std::string source{};
    InjectionTime injectionTime = InjectionTime::atDocumentStart;
    bool forMainFrameOnly = true;
    bool operator==(const UserScript&) const = default;
};

class WebView {
public:
    virtual ~WebView() = default;
    virtual WebsiteDataStore& websiteDataStore() = 0;
    // Runs in every page loaded afterwards.
    virtual void addUserScript(const UserScript& script) = 0;
    // The host of the page shown now; absent when none is shown.
    virtual std::optional<std::string> currentHost() const = 0;
    // Runs a script in the page shown now: its result when that is a string, absent for any other
    // result or a failure.
    virtual std::optional<std::string> evaluateJavaScript(std::string_view script) = 0;
};

} // namespace capturekit
