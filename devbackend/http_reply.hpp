#pragma once

// The reply a service gives to one request, and the error bodies of the services the backend
// stands in for: the gateway, the auth service, the REST layer, edge functions and storage.

#include <capturekit/platform/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace httplib {
struct Response;
}

namespace devbackend {

struct HttpReply {
    int status = 200;
    std::string body{};
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers{};

    static HttpReply json(int status, const capturekit::Json& body);
    // A status without a body (201 after an insert, 204 after a logout).
    static HttpReply empty(int status);

    void writeTo(httplib::Response& response) const;
};

namespace errors {

// {"message": ...}, as the API gateway answers.
HttpReply gateway(int status, std::string_view message);
// {"code": status, "error_code": ..., "msg": ...}
HttpReply auth(int status, std::string_view errorCode, std::string_view message);
// {"code": ..., "details": ..., "hint": ..., "message": ...}
HttpReply rest(int status, std::string_view code, std::string_view message,
               const std::optional<std::string>& details = std::nullopt,
               const std::optional<std::string>& hint = std::nullopt);
// {"error": ..., "code": ...}
HttpReply function(int status, std::string_view code, std::string_view message);
// {"statusCode": "404", "error": ..., "message": ...}
HttpReply storage(int status, std::string_view error, std::string_view message);

} // namespace errors

} // namespace devbackend
