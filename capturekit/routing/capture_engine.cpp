#include <capturekit/routing/capture_engine.hpp>

#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/uuid.hpp>
#include <capturekit/routing/bounce_copy.hpp>
#include <capturekit/routing/capture_request_builder.hpp>
#include <capturekit/routing/capture_router.hpp>

namespace capturekit::CaptureEngine {

namespace {

// Where the backend says the capture went: its named destination (unknown names keep the asked
// one; no name means stash), overridden by the route outcome.
Destination landedDestination(const IngestResult& result, Destination asked) {
    Destination landed = Destination::stash;
    if (result.destination) {
        landed = fromRawValue<Destination>(*result.destination).value_or(asked);
    }
    if (!result.route) {
        return landed;
    }
    switch (result.route->state.kind) {
    case RouteOutcome::StateKind::failed:
    case RouteOutcome::StateKind::notLive:
        return Destination::stash;
    case RouteOutcome::StateKind::written:
        if (result.route->destination) {
            return fromRawValue<Destination>(*result.route->destination).value_or(landed);
        }
        return landed;
    case RouteOutcome::StateKind::unknown:
        break;
    }
    return landed;
}

// "Queued" is said only when the capture is on disk.
CaptureOutcome queued(const CaptureIngestRequest& request, const std::string& key,
                      Destination asked, const std::string& logTitle, const std::string& why) {
    if (CaptureOutbox::enqueue(request, key, asked, logTitle)) {
        return {true, asked, "Queued (" + why + ") — it’ll send when it can."};
    }
    return {false, asked, "Couldn’t send (" + why + ") and couldn’t keep it to send later."};
}

CaptureOutcome delivered(const IngestResult& result, const CaptureIngestRequest& request,
                         Destination asked, const std::string& logTitle) {
    const Destination landed = landedDestination(result, asked);
    SharedState::logCapture(landed, logTitle, result.id, std::nullopt, result.category,
                            dates::now());
    if (result.isParkedForReview()) {
        return {true, asked, "Sent to " + std::string(displayName(asked)) + " — needs a person."};
    }
    if (landed != asked) {
        return {true, landed, BounceCopy::message(asked, landed, request)};
    }
    return {true, asked, "Saved to " + std::string(displayName(asked)) + "."};
}

} // namespace

CaptureOutcome capture(const CaptureItem& item, const CaptureClient& client,
                       const SuggestClient* suggestClient,
                       const std::optional<std::string>& deviceName, std::stop_token stop) {
    const std::optional<Suggestion> suggestion =
        suggestClient != nullptr ? suggestClient->suggest(item, stop) : std::nullopt;
    const RouteDecision decision = CaptureRouter::route(item, suggestion);
    const Destination asked = decision.destination;
    const CaptureIngestRequest request =
        CaptureRequestBuilder::build(decision, item, suggestion, {.device = deviceName});
    const std::string key = makeUUIDString();
    const std::string logTitle = request.title.value_or(request.content);

    const auto result = client.send(request, key, stop);
    if (!result) {
        const CaptureError& error = result.error();
        return queued(request, key, asked, logTitle,
                      std::to_string(error.code()) + " " + error.description());
    }
    if (!result->success) {
        if (result->statusCode >= 400 && result->statusCode <= 499) {
            return {false, asked,
                    "Couldn't save — error " + std::to_string(result->statusCode) + "."};
        }
        return queued(request, key, asked, logTitle,
                      "server " + std::to_string(result->statusCode));
    }
    return delivered(*result, request, asked, logTitle);
}

} // namespace capturekit::CaptureEngine
