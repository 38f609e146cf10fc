#include "dev_request_guard.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

#include <algorithm>

namespace devbackend::dev_request_guard {

namespace {

using capturekit::Json;

bool isLoopbackAddress(std::string_view address) {
    return address.starts_with("127.") || address == "::1" || address.starts_with("::ffff:127.");
}

// ":" and one to five digits.
bool isPortSuffix(std::string_view text) {
    return text.size() >= 2 && text.size() <= 6 && text.front() == ':' &&
           std::ranges::all_of(text.substr(1), [](char c) { return c >= '0' && c <= '9'; });
}

bool hasBody(std::string_view method) {
    return method == "POST" || method == "PUT" || method == "PATCH";
}

// The media type without its parameters ("application/json; charset=utf-8").
bool isJsonMediaType(std::string_view contentType) {
    const std::string type = capturekit::text::trimmedSpacesAndTabs(
        contentType.substr(0, std::min(contentType.find(';'), contentType.size())));
    return capturekit::text::lowercased(type) == "application/json";
}

// "127.0.0.1", "[::1]" or "localhost" (any case), each with or without a port.
bool isLoopbackHost(std::string_view host) {
    // An IPv6 address is in brackets; the port follows the last colon after them.
    const std::size_t portStart =
        host.starts_with('[') ? host.find(']') + 1 : std::min(host.rfind(':'), host.size());
    if (portStart == 0) {
        return false;
    }
    const std::string_view name = host.substr(0, portStart);
    const std::string_view port = host.substr(portStart);
    if (!port.empty() && !isPortSuffix(port)) {
        return false;
    }
    return name == "127.0.0.1" || name == "[::1]" ||
           capturekit::text::lowercased(name) == "localhost";
}

// "http://" or "https://" and a loopback host.
bool isLoopbackOrigin(std::string_view origin) {
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (origin.starts_with(scheme)) {
            return isLoopbackHost(origin.substr(scheme.size()));
        }
    }
    return false;
}

HttpReply refuse(int status, std::string_view message) {
    return HttpReply::json(status, Json{{"error", message}});
}

} // namespace

std::optional<HttpReply> refusal(const httplib::Request& request) {
    if (!isLoopbackAddress(request.remote_addr)) {
        return refuse(403, "development endpoints answer only loopback callers");
    }
    if (!isLoopbackHost(request.get_header_value("Host"))) {
        return refuse(403, "development endpoints answer only requests for 127.0.0.1, [::1] or "
                           "localhost (Host)");
    }
    if (request.has_header("Origin") && !isLoopbackOrigin(request.get_header_value("Origin"))) {
        return refuse(403, "development endpoints do not answer web pages of other sites (Origin)");
    }
    if (hasBody(request.method) && !isJsonMediaType(request.get_header_value("Content-Type"))) {
        return refuse(415, "development endpoints take JSON bodies sent as application/json");
    }
    return std::nullopt;
}

} // namespace devbackend::dev_request_guard
