#include <capturekit/platform/url.hpp>

#include <capturekit/platform/text.hpp>

#include <curl/curl.h>

#include <memory>

namespace capturekit {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

std::optional<std::string> part(CURLU* handle, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || value == nullptr) {
        return std::nullopt;
    }
    std::string out(value);
    curl_free(value);
    return out;
}

bool isPathCharacter(unsigned char c) {
    static constexpr std::string_view allowed = "-._~!$&'()*+,;=:@/";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           allowed.find(static_cast<char>(c)) != std::string_view::npos;
}

} // namespace

std::optional<Url> Url::parse(std::string_view text) {
    if (text.empty() || text.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::unique_ptr<CURLU, UrlHandleDeleter> handle(curl_url());
    const std::string copy(text);
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, copy.c_str(),
                                CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    Url url;
    url.text = copy;
    url.scheme = text::lowercased(part(handle.get(), CURLUPART_SCHEME).value_or(""));
    url.host = text::lowercased(part(handle.get(), CURLUPART_HOST).value_or(""));
    if (const auto port = part(handle.get(), CURLUPART_PORT)) {
        url.port = text::parseInteger(*port).transform([](long long p) { return int(p); });
    }
    url.path = part(handle.get(), CURLUPART_PATH).value_or("");
    url.query = part(handle.get(), CURLUPART_QUERY);
    url.fragment = part(handle.get(), CURLUPART_FRAGMENT);
    if (url.scheme.empty()) {
        return std::nullopt;
    }
    return url;
}

std::vector<std::string> Url::pathSegments() const {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) {
            segments.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return segments;
}

std::string Url::pathExtension() const {
    const auto segments = pathSegments();
    if (segments.empty()) {
        return {};
    }
    const std::string& last = segments.back();
    const std::size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) {
        return {};
    }
    return last.substr(dot + 1);
}

std::string Url::percentEncodePath(std::string_view path) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (isPathCharacter(byte)) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 0x0F]);
        }
    }
    return out;
}

} // namespace capturekit
