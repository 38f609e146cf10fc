#pragma once

// Web view stand-ins that keep everything in memory, for tests and for surfaces that have no
// browser engine. Cookies and local storage are kept per host; a website data record is one host
// that holds either. No script engine runs: evaluation understands exactly the local-storage
// read `localStorage.getItem("key")` and gives absent for any other script. Not thread-safe, like
// the web views they stand in for.

#include <capturekit/account/web_view.hpp>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace capturekit {

class InMemoryWebsiteDataStore final : public WebsiteDataStore, public WebCookieStore {
public:
    WebCookieStore& httpCookieStore() override { return *this; }
    std::vector<WebsiteDataRecord> dataRecords() const override;
    void removeData(const std::vector<WebsiteDataRecord>& records) override;

    std::vector<WebCookie> allCookies() const override { return cookies_; }
    void setCookie(const WebCookie& cookie) override;
    void deleteCookie(const WebCookie& cookie) override;

    // The local storage of pages on a host.
    std::optional<std::string> localStorageItem(const std::string& host,
                                                const std::string& key) const;
    void setLocalStorageItem(const std::string& host, const std::string& key, std::string value);

private:
    std::vector<WebCookie> cookies_;
    std::map<std::string, std::map<std::string, std::string>> localStorage_;
};

class InMemoryWebView final : public WebView {
public:
    explicit InMemoryWebView(InMemoryWebsiteDataStore& store) : store_(store) {}

    InMemoryWebsiteDataStore& websiteDataStore() override { return store_; }
    void addUserScript(const UserScript& script) override { userScripts_.push_back(script); }
    std::optional<std::string> currentHost() const override { return host_; }
    std::optional<std::string> evaluateJavaScript(std::string_view script) override;

    // Shows a page; a URL without a host shows none.
    void load(std::string_view url);
    const std::vector<UserScript>& userScripts() const { return userScripts_; }

private:
    InMemoryWebsiteDataStore& store_;
    std::vector<UserScript> userScripts_;
    std::optional<std::string> host_;
};

} // namespace capturekit
