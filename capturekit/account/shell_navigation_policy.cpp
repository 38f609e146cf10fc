#include <capturekit/account/shell_navigation_policy.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/capture_environment.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/url.hpp>

#include <algorithm>

namespace capturekit::ShellNavigationPolicy {

namespace {

enum class Kind { missing, web, inert, other };

bool isSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

// The URL's scheme, lower-cased; absent for a relative reference.
std::optional<std::string> schemeOf(std::string_view url) {
    const std::size_t colon = url.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view scheme = url.substr(0, colon);
    const bool wellFormed =
        ((scheme[0] >= 'a' && scheme[0] <= 'z') || (scheme[0] >= 'A' && scheme[0] <= 'Z')) &&
        std::ranges::all_of(scheme, isSchemeCharacter);
    return wellFormed ? std::optional(text::lowercased(scheme)) : std::nullopt;
}

Kind kindOf(const std::optional<std::string>& scheme) {
    if (!scheme) {
        return Kind::missing;
    }
    if (*scheme == "http" || *scheme == "https") {
        return Kind::web;
    }
    if (*scheme == "about" || *scheme == "blob" || *scheme == "data" || *scheme == "javascript") {
        return Kind::inert;
    }
    return Kind::other;
}

bool isSuiteHost(std::optional<std::string_view> host, std::string_view suiteHost) {
    if (!host || host->empty() || suiteHost.empty()) {
        return false;
    }
    const std::string lowered = text::lowercased(*host);
    const std::string suite = text::lowercased(suiteHost);
    return lowered == suite || lowered.ends_with("." + suite);
}

bool leadsToSuite(std::string_view url, std::string_view suiteHost) {
    const auto host = url::host(url);
    return host && isSuiteHost(*host, suiteHost);
}

} // namespace

const std::string& defaultSuiteHost() {
    static const std::string host =
        url::host(CaptureConfig::webSuiteOrigin())
            .or_else([] { return url::host(CaptureEnvironment::production().webSuiteOrigin); })
            .value_or(std::string(CaptureConfig::webSuiteDomain()));
    return host;
}

Decision decide(std::optional<std::string_view> url, bool isMainFrame, bool isLinkActivated,
                std::string_view suiteHost) {
    switch (kindOf(url.and_then(schemeOf))) {
    case Kind::missing:
    case Kind::inert:
        return Decision::allow;
    case Kind::web:
        if (leadsToSuite(*url, suiteHost)) {
            return Decision::allow;
        }
        return isMainFrame && isLinkActivated ? Decision::openInSafariSheet : Decision::allow;
    case Kind::other:
        break;
    }
    return Decision::openInSystem;
}

NewWindowDecision decideNewWindow(std::optional<std::string_view> url, std::string_view suiteHost) {
    switch (kindOf(url.and_then(schemeOf))) {
    case Kind::missing:
    case Kind::inert:
        return NewWindowDecision::ignore;
    case Kind::web:
        return leadsToSuite(*url, suiteHost) ? NewWindowDecision::loadHere
                                             : NewWindowDecision::openInSafariSheet;
    case Kind::other:
        break;
    }
    return NewWindowDecision::openInSystem;
}

MediaCaptureDecision decideMediaCapture(std::optional<std::string_view> host,
                                        std::string_view suiteHost) {
    return isSuiteHost(host, suiteHost) ? MediaCaptureDecision::grant
                                        : MediaCaptureDecision::prompt;
}

} // namespace capturekit::ShellNavigationPolicy
