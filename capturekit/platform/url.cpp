#include <capturekit/platform/url.hpp>

#include <capturekit/platform/text.hpp>

#include <curl/curl.h>

#include <memory>
#include <vector>

namespace capturekit {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

std::optional<std::string> urlPart(CURLU* handle, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || value == nullptr) {
        return std::nullopt;
    }
    std::string out(value);
    curl_free(value);
    return out;
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
    url.scheme = text::lowercased(urlPart(handle.get(), CURLUPART_SCHEME).value_or(""));
    url.host = text::lowercased(urlPart(handle.get(), CURLUPART_HOST).value_or(""));
    if (const auto port = urlPart(handle.get(), CURLUPART_PORT)) {
        url.port = text::parseInteger(*port).transform([](long long p) { return int(p); });
    }
    url.path = urlPart(handle.get(), CURLUPART_PATH).value_or("");
    url.query = urlPart(handle.get(), CURLUPART_QUERY);
    url.fragment = urlPart(handle.get(), CURLUPART_FRAGMENT);
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

} // namespace capturekit

namespace capturekit::url {

namespace {

bool isUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool isSubDelimiter(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

bool isPathCharacter(char c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string_view withoutLeadingSlashes(std::string_view text) {
    while (!text.empty() && text.front() == '/') {
        text.remove_prefix(1);
    }
    return text;
}

// RFC 3986 section 5.2.4, for a path that starts with "/".
std::string removingDotSegments(std::string_view path) {
    std::vector<std::string_view> kept;
    std::size_t start = 1;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const bool last = slash == std::string_view::npos;
        const std::string_view segment =
            path.substr(start, last ? std::string_view::npos : slash - start);
        if (segment == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
        } else if (segment != ".") {
            kept.push_back(segment);
        }
        if (last) {
            // A final "." or ".." leaves the path ending in "/".
            if (segment == "." || segment == "..") {
                kept.push_back({});
            }
            break;
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto segment : kept) {
        result += '/';
        result += segment;
    }
    return result.empty() ? "/" : result;
}

struct Authority {
    std::string_view schemeAndAuthority; // "https://host:port"
    std::string_view authority;          // "host:port"
};

std::optional<Authority> splitAuthority(std::string_view absoluteURL) {
    const std::size_t separator = absoluteURL.find("://");
    if (separator == std::string_view::npos || separator == 0) {
        return std::nullopt;
    }
    const std::size_t authorityStart = separator + 3;
    const std::size_t authorityEnd = absoluteURL.find_first_of("/?#", authorityStart);
    const std::size_t end =
        authorityEnd == std::string_view::npos ? absoluteURL.size() : authorityEnd;
    return Authority{absoluteURL.substr(0, end),
                     absoluteURL.substr(authorityStart, end - authorityStart)};
}

} // namespace

std::string percentEncode(std::string_view text, bool (*keep)(unsigned char byte)) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += digits[byte >> 4];
            encoded += digits[byte & 0x0F];
        }
    }
    return encoded;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
            return std::nullopt;
        }
        decoded += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
    }
    return decoded;
}

std::string encodePath(std::string_view path) {
    return percentEncode(path, [](unsigned char byte) {
        const auto c = static_cast<char>(byte);
        return isPathCharacter(c) || c == '/';
    });
}

bool isValidReference(std::string_view reference) {
    bool inFragment = false;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const char c = reference[i];
        if (c == '%') {
            if (i + 2 >= reference.size() || !isHexDigit(reference[i + 1]) ||
                !isHexDigit(reference[i + 2])) {
                return false;
            }
            i += 2;
        } else if (c == '#') {
            if (inFragment) {
                return false;
            }
            inFragment = true;
        } else if (!isPathCharacter(c) && c != '/' && c != '?') {
            return false;
        }
    }
    return true;
}

std::string appendingPath(std::string_view base, std::string_view path) {
    std::string result(base);
    while (!result.empty() && result.back() == '/') {
        result.pop_back();
    }
    result += '/';
    result += encodePath(withoutLeadingSlashes(path));
    return result;
}

std::optional<std::string> host(std::string_view absoluteURL) {
    const auto parts = splitAuthority(absoluteURL);
    if (!parts) {
        return std::nullopt;
    }
    std::string_view authority = parts->authority;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::string_view result;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        result = authority.substr(1, close - 1);
    } else {
        result = authority.substr(0, authority.find(':'));
    }
    if (result.empty()) {
        return std::nullopt;
    }
    return std::string(result);
}

std::optional<std::string> origin(std::string_view absoluteURL) {
    const auto parts = splitAuthority(absoluteURL);
    if (!parts || parts->authority.empty()) {
        return std::nullopt;
    }
    return std::string(parts->schemeAndAuthority);
}

std::optional<std::string> resolvingAbsolutePath(std::string_view base,
                                                 std::string_view reference) {
    if (!reference.starts_with('/') || reference.starts_with("//") ||
        !isValidReference(reference)) {
        return std::nullopt;
    }
    const auto baseOrigin = origin(base);
    if (!baseOrigin) {
        return std::nullopt;
    }
    const std::size_t pathEnd = reference.find_first_of("?#");
    const std::string_view path = reference.substr(0, pathEnd);
    const std::string_view rest =
        pathEnd == std::string_view::npos ? std::string_view{} : reference.substr(pathEnd);
    return *baseOrigin + removingDotSegments(path) + std::string(rest);
}

} // namespace capturekit::url
