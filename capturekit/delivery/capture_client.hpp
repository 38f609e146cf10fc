#pragma once

// Delivers one capture to the backend's ingest function: posts the request with the caller's
// bearer token, retries transient failures, and reads the reply. What to do with a failure is the
// caller's choice.

#include <capturekit/account/auth_provider.hpp>
#include <capturekit/model/capture_ingest_request.hpp>
#include <capturekit/platform/http_session.hpp>
#include <capturekit/platform/sleeper.hpp>

#include <expected>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace capturekit {

// What the server did when it wrote the capture into a destination app.
struct RouteOutcome {
    enum class StateKind { unknown, written, failed, notLive };
    struct State {
        StateKind kind = StateKind::unknown;
        std::string unknownValue; // the wire value of an unknown state, verbatim

        static State fromWire(std::string_view value);
        std::string wireValue() const;
        bool operator==(const State&) const = default;
    };

    std::optional<std::string> destination;
    State state;
    std::optional<std::string> error;
    std::optional<std::string> code;

    bool operator==(const RouteOutcome&) const = default;
};

// The ingest reply, whatever its status.
struct IngestResult {
    bool success = false; // status 200–299
    int statusCode = 0;
    std::string body; // empty when the body is not valid UTF-8
    std::optional<std::string> id;
    std::optional<std::string> status;
    std::optional<std::string> destination;
    std::optional<std::string> category;
    std::optional<RouteOutcome> route;

    bool isParkedForReview() const { return status == "parked_for_review"; }

    static IngestResult parse(int statusCode, std::string_view body);
    bool operator==(const IngestResult&) const = default;
};

struct CaptureError {
    // The numeric code of an error is its case position.
    enum class Kind { network = 0, missingToken = 1, encodingFailed = 2 };

    Kind kind = Kind::network;
    std::string message; // network only

    static CaptureError network(std::string message) { return {Kind::network, std::move(message)}; }
    static CaptureError missingToken() { return {Kind::missingToken, {}}; }
    static CaptureError encodingFailed() { return {Kind::encodingFailed, {}}; }

    int code() const { return static_cast<int>(kind); }
    std::string description() const;
    bool operator==(const CaptureError&) const = default;
};

class CaptureClient {
public:
    static constexpr int maxAttempts = 3;

    explicit CaptureClient(const AuthProvider& auth, HttpTransport& session = HttpSession::shared(),
                           Sleeper& sleeper = ThreadSleeper::shared());

    // One delivery with up to three attempts. Client errors (4xx) return at once; other statuses
    // and transport failures are retried after attempt × 0.7 s. Fails only when no request could
    // be made or no attempt got a reply. Without a key, a fresh UUID serves every attempt. Once
    // `stop` is triggered no further request is made and the remaining attempts count as
    // transport failures.
    std::expected<IngestResult, CaptureError> send(const CaptureIngestRequest& request,
                                                   const std::optional<std::string>& idempotencyKey,
                                                   std::stop_token stop = {}) const;

private:
    const AuthProvider* auth_;
    HttpTransport* session_;
    Sleeper* sleeper_;
};

} // namespace capturekit
