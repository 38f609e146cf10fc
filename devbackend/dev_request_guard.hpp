#pragma once

// Who may use the development endpoints. They change users and faults and show the request log,
// so a web page open in the developer's browser must not reach them: a request is answered only
// from a loopback address, addressed to a loopback name (so a rebound DNS name is refused), sent
// by no foreign web page (Origin), and with a body only as application/json (which a page cannot
// send without a preflight this server never grants).

#include "http_reply.hpp"

#include <optional>

namespace httplib {
struct Request;
}

namespace devbackend::dev_request_guard {

// The refusal (403 or 415 with {"error": ...}) for a request that may not use the development
// endpoints; absent when it may.
std::optional<HttpReply> refusal(const httplib::Request& request);

} // namespace devbackend::dev_request_guard
