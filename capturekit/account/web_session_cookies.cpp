#include <capturekit/account/web_session_cookies.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/capture_environment.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/url.hpp>

#include <algorithm>
#include <chrono>

namespace capturekit::WebSessionCookies {

namespace {

bool isCookieSafe(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("-_.!~*'()").find(c) != std::string_view::npos;
}

std::int64_t unixSeconds(Date date) {
    return std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
}

// What a page's location.host says for the origin: the host, with a port that is not the
// scheme's default, and brackets around an IPv6 literal. Absent without a host, or for a host
// that could not stand inside a script's string literal.
std::optional<std::string> locationHost(std::string_view origin) {
    const auto url = Url::parse(origin);
    auto host = url::host(origin);
    if (!url || !host) {
        return std::nullopt;
    }
    const bool unsafe = std::ranges::any_of(*host, [](char c) {
        return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
    });
    if (unsafe) {
        return std::nullopt;
    }
    if (host->find(':') != std::string::npos) {
        host = "[" + *host + "]";
    }
    const int defaultPort = url->scheme == "https" ? 443 : url->scheme == "http" ? 80 : -1;
    if (url->port && *url->port != defaultPort) {
        *host += ":" + std::to_string(*url->port);
    }
    return host;
}

std::optional<std::string> joinedPieces(const std::map<std::string, std::string>& cookies,
                                        const std::string& key) {
    std::optional<std::string> joined;
    for (std::size_t index = 0;; ++index) {
        const auto piece = cookies.find(key + "." + std::to_string(index));
        if (piece == cookies.end()) {
            return joined;
        }
        joined = joined.value_or("") + piece->second;
    }
}

std::optional<std::string> userString(const Json& object, std::string_view key) {
    const Json* user = json::member(object, "user");
    return user ? json::string(*user, key) : std::nullopt;
}

} // namespace

std::string storageKey(std::string_view projectID) {
    return "sb-" + std::string(projectID) + "-auth-token";
}

const std::string& cookieDomain() {
    static const std::string domain =
        "." +
        url::host(CaptureConfig::webSuiteOrigin())
            .or_else([] { return url::host(CaptureEnvironment::production().webSuiteOrigin); })
            .value_or(std::string(CaptureConfig::webSuiteDomain()));
    return domain;
}

std::optional<std::string> sessionObject(const UserSession& session, Date now) {
    const JWTClaims claims(session.accessToken);
    const std::int64_t expiresAt = unixSeconds(session.expiresAt);
    Json user;
    user["id"] = claims.subject.value_or(session.userID);
    user["aud"] = "authenticated";
    user["role"] = "authenticated";
    user["email"] = session.email.or_else([&] { return claims.email; }).value_or("");
    Json object; // ordered by key, as the web application's writer does
    object["access_token"] = session.accessToken;
    object["token_type"] = "bearer";
    object["expires_at"] = expiresAt;
    object["expires_in"] = std::max<std::int64_t>(0, expiresAt - unixSeconds(now));
    object["refresh_token"] = session.refreshToken;
    object["user"] = std::move(user);
    try {
        // Strict: a session holding bytes that are not UTF-8 has no faithful JSON form.
        return object.dump();
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> seedScript(const UserSession& session, std::string_view origin,
                                      std::string_view projectID, Date now) {
    const auto object = sessionObject(session, now);
    const auto host = locationHost(origin);
    if (!object || !host) {
        return std::nullopt;
    }
    const std::string literal = Json(*object).dump();
    const std::string key = storageKey(projectID);
    return "(function () {\n  try {\n    if (location.host !== \"" + *host +
           "\") return;\n    if (localStorage.getItem(\"" + key +
           "\") === null) localStorage.setItem(\"" + key + "\", " + literal +
           ");\n  } catch (e) {}\n})();";
}

std::vector<CookiePair> pairs(const UserSession& session, std::string_view projectID, Date now) {
    const auto object = sessionObject(session, now);
    if (!object) {
        return {};
    }
    const std::string encoded = percentEncoded(*object);
    const std::string key = storageKey(projectID);
    if (encoded.size() <= maxCookieValueLength) {
        return {{key, encoded}};
    }
    std::vector<CookiePair> pieces;
    for (std::size_t start = 0; start < encoded.size(); start += maxCookieValueLength) {
        pieces.emplace_back(key + "." + std::to_string(pieces.size()),
                            encoded.substr(start, maxCookieValueLength));
    }
    return pieces;
}

std::optional<UserSession> from(const std::map<std::string, std::string>& cookies,
                                std::string_view projectID) {
    const std::string key = storageKey(projectID);
    const auto whole = cookies.find(key);
    const auto encoded = whole != cookies.end() ? whole->second : joinedPieces(cookies, key);
    return encoded.and_then(percentDecoded).and_then([&](const std::string& text) {
        return fromJSON(text, projectID);
    });
}

std::optional<UserSession> fromJSON(std::string_view text, std::string_view /*projectID*/,
                                    Date now) {
    const auto object = json::parse(text);
    if (!object || !object->is_object()) {
        return std::nullopt;
    }
    auto accessToken = json::string(*object, "access_token");
    auto refreshToken = json::string(*object, "refresh_token");
    if (!accessToken || !refreshToken) {
        return std::nullopt;
    }
    const JWTClaims claims(*accessToken);
    auto userID = claims.subject.or_else([&] { return userString(*object, "id"); });
    if (!userID) {
        return std::nullopt;
    }
    const Date expiresAt =
        claims.expiry
            .or_else([&] {
                return json::number(*object, "expires_at").and_then(dates::fromSecondsSince1970);
            })
            .value_or(now);
    return UserSession{.accessToken = std::move(*accessToken),
                       .refreshToken = std::move(*refreshToken),
                       .expiresAt = expiresAt,
                       .userID = std::move(*userID),
                       .email = claims.email.or_else([&] { return userString(*object, "email"); })};
}

std::string percentEncoded(std::string_view text) {
    return url::percentEncode(
        text, [](unsigned char byte) { return isCookieSafe(static_cast<char>(byte)); });
}

std::optional<std::string> percentDecoded(std::string_view text) {
    auto decoded = url::percentDecode(text);
    if (!decoded || !text::isValidUTF8(*decoded)) {
        return std::nullopt;
    }
    return decoded;
}

} // namespace capturekit::WebSessionCookies
