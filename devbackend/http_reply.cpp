#include "http_reply.hpp"

#include <httplib.h>

namespace devbackend {

using capturekit::Json;

HttpReply HttpReply::json(int status, const Json& body) {
    return HttpReply{.status = status, .body = capturekit::json::dump(body)};
}

HttpReply HttpReply::empty(int status) {
    return HttpReply{.status = status, .contentType = {}};
}

void HttpReply::writeTo(httplib::Response& response) const {
    response.status = status;
    for (const auto& [name, value] : headers) {
        response.set_header(name, value);
    }
    if (!contentType.empty()) {
        response.set_content(body, contentType);
    } else {
        response.body = body;
    }
}

namespace errors {

HttpReply gateway(int status, std::string_view message) {
    return HttpReply::json(status, Json{{"message", message}});
}

HttpReply auth(int status, std::string_view errorCode, std::string_view message) {
    return HttpReply::json(status,
                           Json{{"code", status}, {"error_code", errorCode}, {"msg", message}});
}

HttpReply rest(int status, std::string_view code, std::string_view message,
               const std::optional<std::string>& details, const std::optional<std::string>& hint) {
    return HttpReply::json(status, Json{{"code", code},
                                        {"details", details ? Json(*details) : Json(nullptr)},
                                        {"hint", hint ? Json(*hint) : Json(nullptr)},
                                        {"message", message}});
}

HttpReply function(int status, std::string_view code, std::string_view message) {
    return HttpReply::json(status, Json{{"error", message}, {"code", code}});
}

HttpReply storage(int status, std::string_view error, std::string_view message) {
    return HttpReply::json(
        status,
        Json{{"statusCode", std::to_string(status)}, {"error", error}, {"message", message}});
}

} // namespace errors

} // namespace devbackend
