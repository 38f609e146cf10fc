#include <capturekit/content/social_profile.hpp>

#include <capturekit/platform/text.hpp>

#include <algorithm>
#include <array>

namespace capturekit {

namespace {

constexpr std::array<std::string_view, 31> reservedPathWords = {
    "p",        "reel",    "reels",     "tv",         "stories",
    "story",    "s",       "status",    "statuses",   "i",
    "explore",  "search",  "hashtag",   "direct",     "accounts",
    "about",    "legal",   "developer", "developers", "help",
    "privacy",  "terms",   "settings",  "home",       "notifications",
    "messages", "compose", "share",     "login",      "signup",
    "session"};

constexpr std::string_view handleAlphabet =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-";

constexpr std::size_t maxHandleLength = 100;

bool isOneOf(std::string_view host, std::initializer_list<std::string_view> hosts) {
    return std::find(hosts.begin(), hosts.end(), host) != hosts.end();
}

} // namespace

std::string_view SocialProfile::rawValue(Platform platform) {
    switch (platform) {
    case Platform::instagram:
        return "instagram";
    case Platform::x:
        return "x";
    case Platform::linkedin:
        return "linkedin";
    }
    return "instagram";
}

std::optional<SocialProfile::Platform> SocialProfile::platformFromRawValue(std::string_view raw) {
    for (const Platform platform : {Platform::instagram, Platform::x, Platform::linkedin}) {
        if (rawValue(platform) == raw) {
            return platform;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SocialProfile::cleanHandle(std::string_view candidate) {
    if (candidate.starts_with('@')) {
        candidate.remove_prefix(1);
    }
    if (candidate.empty() || candidate.size() > maxHandleLength ||
        candidate.find_first_not_of(handleAlphabet) != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string lower = text::lowercased(candidate);
    if (std::find(reservedPathWords.begin(), reservedPathWords.end(), lower) !=
        reservedPathWords.end()) {
        return std::nullopt;
    }
    return std::string(candidate);
}

std::optional<SocialProfile> SocialProfile::from(const std::optional<Url>& url) {
    if (!url || url->host.empty()) {
        return std::nullopt;
    }
    std::string_view host = url->host;
    if (host.starts_with("www.")) {
        host.remove_prefix(4);
    }
    const auto segments = url->pathSegments();
    const auto profile = [&](Platform platform,
                             std::string_view handle) -> std::optional<SocialProfile> {
        auto cleaned = cleanHandle(handle);
        if (!cleaned) {
            return std::nullopt;
        }
        return SocialProfile{platform, std::move(*cleaned)};
    };
    if (host == "instagram.com" && segments.size() == 1) {
        return profile(Platform::instagram, segments[0]);
    }
    if (isOneOf(host, {"x.com", "twitter.com", "mobile.twitter.com"}) && segments.size() == 1) {
        return profile(Platform::x, segments[0]);
    }
    if (isOneOf(host, {"linkedin.com", "m.linkedin.com"}) && segments.size() == 2 &&
        text::lowercased(segments[0]) == "in") {
        return profile(Platform::linkedin, segments[1]);
    }
    return std::nullopt;
}

std::optional<SocialProfile> SocialProfile::from(std::string_view urlText) {
    return from(Url::parse(urlText));
}

} // namespace capturekit
