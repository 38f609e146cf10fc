#include <capturekit/content/google_place_link.hpp>

#include <capturekit/platform/url.hpp>

#include <algorithm>
#include <array>
#include <string_view>

namespace capturekit::GooglePlaceLink {

namespace {

constexpr std::array<std::string_view, 4> anyPathHosts = {"maps.app.goo.gl", "goo.gl",
                                                          "share.google", "maps.google.com"};
constexpr std::array<std::string_view, 3> mainHostPathPrefixes = {"/maps", "/search",
                                                                  "/share.google"};

} // namespace

bool matches(const std::optional<std::string>& text) {
    if (!text) {
        return false;
    }
    const auto url = Url::parse(*text);
    if (!url || (url->scheme != "https" && url->scheme != "http")) {
        return false;
    }
    if (std::find(anyPathHosts.begin(), anyPathHosts.end(), url->host) != anyPathHosts.end()) {
        return true;
    }
    if (url->host != "google.com" && url->host != "www.google.com") {
        return false;
    }
    return std::any_of(mainHostPathPrefixes.begin(), mainHostPathPrefixes.end(),
                       [&](std::string_view prefix) { return url->path.starts_with(prefix); });
}

} // namespace capturekit::GooglePlaceLink
