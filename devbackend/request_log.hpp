#pragma once

// The last requests received, for tests and people to see what a client really sent.

#include "database.hpp"

#include <capturekit/platform/json.hpp>

#include <cstddef>
#include <string_view>

namespace httplib {
struct Request;
}

namespace devbackend {

class RequestLog {
public:
    explicit RequestLog(Database& database) : database_(database) {}

    // `outcome` is "replied" or "dropped".
    void record(const httplib::Request& request, int status, std::string_view outcome);
    // The last `limit` requests whose path starts with `pathPrefix`, oldest first: objects with
    // "method", "path", "query", "headers" (name to value; repeated names joined with ", "),
    // "body" (its first 64 KiB), "body_size", "body_truncated", "status", "outcome",
    // "received_at". Credentials are not kept: the "Authorization" header and the "password" and
    // "refresh_token" members of a body read "[redacted]".
    capturekit::Json list(std::size_t limit, std::string_view pathPrefix);
    void clear();

private:
    Database& database_;
};

} // namespace devbackend
