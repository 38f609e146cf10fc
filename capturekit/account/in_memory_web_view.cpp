#include <capturekit/account/in_memory_web_view.hpp>

#include <capturekit/platform/json.hpp>
#include <capturekit/platform/url.hpp>

#include <algorithm>
#include <set>

namespace capturekit {

namespace {

std::string hostOf(const WebCookie& cookie) {
    return cookie.domain.starts_with('.') ? cookie.domain.substr(1) : cookie.domain;
}

// The key of `localStorage.getItem("key")`, the key written as a JSON string literal.
std::optional<std::string> localStorageReadKey(std::string_view script) {
    constexpr std::string_view prefix = "localStorage.getItem(";
    if (!script.starts_with(prefix) || !script.ends_with(")")) {
        return std::nullopt;
    }
    const auto literal =
        json::parse(script.substr(prefix.size(), script.size() - prefix.size() - 1));
    if (!literal || !literal->is_string()) {
        return std::nullopt;
    }
    return literal->get<std::string>();
}

} // namespace

std::vector<WebsiteDataRecord> InMemoryWebsiteDataStore::dataRecords() const {
    std::set<std::string> hosts;
    for (const auto& cookie : cookies_) {
        hosts.insert(hostOf(cookie));
    }
    for (const auto& [host, items] : localStorage_) {
        if (!items.empty()) {
            hosts.insert(host);
        }
    }
    std::vector<WebsiteDataRecord> records;
    for (const auto& host : hosts) {
        records.push_back({host});
    }
    return records;
}

void InMemoryWebsiteDataStore::removeData(const std::vector<WebsiteDataRecord>& records) {
    for (const auto& record : records) {
        std::erase_if(cookies_, [&](const WebCookie& cookie) {
            return hostOf(cookie) == record.displayName;
        });
        localStorage_.erase(record.displayName);
    }
}

void InMemoryWebsiteDataStore::setCookie(const WebCookie& cookie) {
    deleteCookie(cookie);
    cookies_.push_back(cookie);
}

void InMemoryWebsiteDataStore::deleteCookie(const WebCookie& cookie) {
    std::erase_if(cookies_, [&](const WebCookie& kept) { return kept.sameCookieAs(cookie); });
}

std::optional<std::string>
InMemoryWebsiteDataStore::localStorageItem(const std::string& host, const std::string& key) const {
    const auto site = localStorage_.find(host);
    if (site == localStorage_.end()) {
        return std::nullopt;
    }
    const auto item = site->second.find(key);
    return item == site->second.end() ? std::nullopt : std::optional(item->second);
}

void InMemoryWebsiteDataStore::setLocalStorageItem(const std::string& host, const std::string& key,
                                                   std::string value) {
    localStorage_[host][key] = std::move(value);
}

std::optional<std::string> InMemoryWebView::evaluateJavaScript(std::string_view script) {
    const auto key = localStorageReadKey(script);
    if (!key || !host_) {
        return std::nullopt;
    }
    return store_.localStorageItem(*host_, *key);
}

void InMemoryWebView::load(std::string_view url) {
    host_ = url::host(url);
}

} // namespace capturekit
