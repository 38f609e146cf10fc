#include <capturekit/delivery/capture_client.hpp>

#include <capturekit/account/backend_request.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/uuid.hpp>

namespace capturekit {

namespace {

constexpr std::chrono::milliseconds pauseStep{700};

std::optional<RouteOutcome> routeOf(const Json& object) {
    const Json* route = json::member(object, "route");
    if (route == nullptr || !route->is_object()) {
        return std::nullopt;
    }
    const auto state = json::string(*route, "state");
    if (!state) {
        return std::nullopt;
    }
    return RouteOutcome{json::string(*route, "destination"), RouteOutcome::State::fromWire(*state),
                        json::string(*route, "error"), json::string(*route, "code")};
}

HttpRequest ingestRequest(std::string body, const std::string& token, std::string key) {
    HttpRequest request = backendJSONPost(CaptureConfig::ingestURL(), token, std::move(body),
                                          CaptureConfig::ingestTimeout);
    request.headers.emplace_back("Idempotency-Key", std::move(key));
    return request;
}

} // namespace

RouteOutcome::State RouteOutcome::State::fromWire(std::string_view value) {
    if (value == "written") {
        return {StateKind::written, {}};
    }
    if (value == "failed") {
        return {StateKind::failed, {}};
    }
    if (value == "not_live") {
        return {StateKind::notLive, {}};
    }
    return {StateKind::unknown, std::string(value)};
}

std::string RouteOutcome::State::wireValue() const {
    switch (kind) {
    case StateKind::written:
        return "written";
    case StateKind::failed:
        return "failed";
    case StateKind::notLive:
        return "not_live";
    case StateKind::unknown:
        break;
    }
    return unknownValue;
}

IngestResult IngestResult::parse(int statusCode, std::string_view body) {
    IngestResult result;
    result.statusCode = statusCode;
    result.success = statusCode >= 200 && statusCode <= 299;
    result.body = text::isValidUTF8(body) ? std::string(body) : std::string();
    const auto object = json::parse(body);
    if (!object || !object->is_object()) {
        return result;
    }
    result.id = json::string(*object, "id");
    result.status = json::string(*object, "status");
    result.destination = json::string(*object, "destination");
    result.category = json::string(*object, "category");
    result.route = routeOf(*object);
    return result;
}

std::string CaptureError::description() const {
    switch (kind) {
    case Kind::network:
        return message;
    case Kind::missingToken:
        return "No capture token — add it in the tarvo app first.";
    case Kind::encodingFailed:
        return "Couldn't encode the capture.";
    }
    return {};
}

CaptureClient::CaptureClient(const AuthProvider& auth, HttpTransport& session, Sleeper& sleeper)
    : auth_(&auth), session_(&session), sleeper_(&sleeper) {}

std::expected<IngestResult, CaptureError>
CaptureClient::send(const CaptureIngestRequest& request,
                    const std::optional<std::string>& idempotencyKey, std::stop_token stop) const {
    auto body = request.encoded();
    if (!body) {
        return std::unexpected(CaptureError::encodingFailed());
    }
    const auto token = text::trimmedOptional(auth_->bearerToken(stop));
    if (!token) {
        return std::unexpected(CaptureError::missingToken());
    }
    const HttpRequest http =
        ingestRequest(std::move(*body), *token, idempotencyKey.value_or(makeUUIDString()));

    std::optional<IngestResult> lastHeld;
    std::optional<std::string> lastTransportError;
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        const auto reply = session_->perform(http, stop);
        if (!reply) {
            lastTransportError = reply.error().description;
            if (reply.error().kind == HttpError::Kind::invalidRequest) {
                break; // the same request would be refused again
            }
        } else {
            IngestResult result = IngestResult::parse(reply->statusCode, reply->body);
            const bool clientError = result.statusCode >= 400 && result.statusCode <= 499;
            if (result.success || clientError) {
                return result;
            }
            lastHeld = std::move(result);
        }
        if (attempt < maxAttempts && !stop.stop_requested()) {
            sleeper_->sleep(pauseStep * attempt, stop);
        }
    }
    if (lastHeld) {
        return std::move(*lastHeld);
    }
    return std::unexpected(CaptureError::network(lastTransportError.value_or("Network error")));
}

} // namespace capturekit
