#pragma once

// Blocking HTTP over libcurl. One process-wide session shares its connection cache, DNS cache and
// TLS sessions across threads, so consecutive requests to the backend reuse one connection.

#include <chrono>
#include <cstddef>
#include <expected>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace capturekit {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers; // sent in this order
    std::string body;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
};

struct HttpResponse {
    int statusCode = 0;
    HttpHeaders headers; // names lower-cased
    std::string body;

    // The first header of this (case-insensitive) name.
    const std::string* header(std::string_view name) const;
};

struct HttpError {
    enum class Kind {
        transport,      // no HTTP reply: refused, reset, timed out, TLS, name resolution
        cancelled,      // the stop token was triggered
        invalidRequest, // the request was refused before sending (bad URL, unsafe header value)
    };
    Kind kind = Kind::transport;
    // For transport failures, the transport's own message with detail (host, port, reason).
    std::string description;
};

// The seam every network client performs requests through; tests substitute fakes.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual std::expected<HttpResponse, HttpError> perform(const HttpRequest& request,
                                                           std::stop_token stop = {}) = 0;
};

class HttpSession final : public HttpTransport {
public:
    HttpSession();
    ~HttpSession() override;
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    static HttpSession& shared();

    // The largest reply body taken in; a larger reply is a transport failure ("Reply too large"),
    // so a broken or hostile server cannot make the process hold gigabytes. Every reply of the
    // backend is far smaller.
    static constexpr std::size_t maxReplyBytes = 8 * 1024 * 1024;

    std::expected<HttpResponse, HttpError> perform(const HttpRequest& request,
                                                   std::stop_token stop = {}) override;

    // Whether a header value may be sent: no CR, LF or NUL (they would split the header).
    static bool isSafeHeaderValue(std::string_view value);

private:
    struct State;
    State* state_;
};

} // namespace capturekit
