#include <capturekit/account/environment_banner.hpp>

#include <capturekit/platform/url.hpp>

namespace capturekit {

std::string EnvironmentBanner::host() const {
    return url::host(environment.webSuiteOrigin).value_or("dev");
}

std::string EnvironmentBanner::text() const {
    switch (style) {
    case Style::bar:
        return "captures go to " + host();
    case Style::tag:
        return std::string(title) + " · " + host();
    }
    return host();
}

} // namespace capturekit
