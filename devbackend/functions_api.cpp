#include "functions_api.hpp"

#include "stamps.hpp"

#include "filing_rules.hpp"
#include "ingest_request_check.hpp"
#include "suggest_rules.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

namespace devbackend {

using capturekit::Json;
namespace json = capturekit::json;
namespace text = capturekit::text;

namespace {

constexpr std::string_view mediaBucket = "capture-media";

HttpReply rejected(const Rejection& rejection) {
    return errors::function(rejection.status, rejection.code, rejection.message);
}

std::optional<Json> bodyObject(const httplib::Request& request) {
    auto body = json::parse(request.body);
    if (!body || !body->is_object()) {
        return std::nullopt;
    }
    return body;
}

HttpReply invalidJson() {
    return errors::function(400, "invalid_json", "the body must be a JSON object");
}

HttpReply storedReply(const StoredReply& reply, bool replayed) {
    HttpReply result{.status = reply.status, .body = reply.body};
    if (replayed) {
        result.headers.emplace_back("Idempotent-Replayed", "true");
    }
    return result;
}

std::optional<Rejection> checkSuggestBody(const Json& body) {
    for (std::string_view key : {"content", "url", "screenshot"}) {
        if (const Json* value = json::member(body, key); value != nullptr && !value->is_string()) {
            return Rejection{400, "invalid_body", "\"" + std::string(key) + "\" must be a string"};
        }
    }
    if (json::member(body, "tags") != nullptr && !json::stringArray(body, "tags")) {
        return Rejection{400, "invalid_body", "\"tags\" must be an array of strings"};
    }
    return std::nullopt;
}

} // namespace

HttpReply FunctionsApi::handle(const httplib::Request& request) {
    struct Route {
        std::string_view path;
        HttpReply (FunctionsApi::*handler)(const httplib::Request&);
    };
    static constexpr Route routes[] = {
        {"/functions/v1/capture-ingest", &FunctionsApi::ingest},
        {"/functions/v1/capture-suggest", &FunctionsApi::suggest},
        {"/functions/v1/capture-transcribe", &FunctionsApi::transcribe},
    };
    for (const Route& route : routes) {
        if (request.path == route.path) {
            if (request.method != "POST") {
                return errors::function(405, "method_not_allowed", "use POST");
            }
            return (this->*route.handler)(request);
        }
    }
    return errors::function(404, "not_found", "Requested function was not found");
}

std::expected<Caller, HttpReply> FunctionsApi::authenticate(const httplib::Request& request,
                                                            bool devicesOnly) {
    const auto caller = callers_.fromDeviceOrAccessToken(request);
    if (!caller) {
        return std::unexpected(errors::function(401, "unauthorized", describe(caller.error())));
    }
    const bool allowed = devicesOnly ? caller->kind == Caller::Kind::device
                                     : caller->kind != Caller::Kind::anonymous;
    if (!allowed) {
        return std::unexpected(errors::function(
            401, "unauthorized", devicesOnly ? "a device token is required" : "sign in first"));
    }
    return *caller;
}

HttpReply FunctionsApi::ingest(const httplib::Request& request) {
    const auto caller = authenticate(request, true);
    if (!caller) {
        return caller.error();
    }
    // Kept byte for byte (the HTTP library has undone the key's percent-encoding): keys that differ
    // only in bytes that are not UTF-8 are different keys, as on the real backend.
    const std::string sentKey =
        text::trimmedSpacesAndTabs(request.get_header_value("Idempotency-Key"));
    const auto key = sentKey.empty() ? std::nullopt : std::optional(sentKey);
    if (key) {
        if (const auto earlier = entries_.replyFor(caller->userID, *key)) {
            return storedReply(*earlier, true);
        }
    }
    const auto body = json::parse(request.body);
    if (!body) {
        return errors::function(400, "invalid_json", "the body is not JSON");
    }
    if (const auto rejection = ingest_request_check::check(*body)) {
        return rejected(*rejection);
    }
    FilingContext context{.people = people_.list(caller->userID)};
    for (const auto& [appKey, enabled] : apps_.settings(caller->userID)) {
        if (!enabled) {
            context.disabledAppKeys.insert(appKey);
        }
    }
    const auto decision = filing_rules::decide(*body, context);
    if (!decision) {
        return rejected(decision.error());
    }
    const Entry entry{.id = stamps::newID(),
                      .userID = caller->userID,
                      .deviceID = caller->deviceID,
                      .requestedDestination = json::string(*body, "destination"),
                      .destination = decision->destination,
                      .category = decision->category,
                      .status = decision->status,
                      .routeState =
                          decision->route ? std::optional(decision->route->state) : std::nullopt,
                      .idempotencyKey = key,
                      .body = request.body};
    const StoredReply reply{200, json::dump(filing_rules::reply(entry.id, *decision))};
    const StoredReply given = entries_.file(entry, reply);
    return storedReply(given, given.body != reply.body);
}

HttpReply FunctionsApi::suggest(const httplib::Request& request) {
    const auto caller = authenticate(request, false);
    if (!caller) {
        return caller.error();
    }
    const auto body = bodyObject(request);
    if (!body) {
        return invalidJson();
    }
    if (const auto rejection = checkSuggestBody(*body)) {
        return rejected(*rejection);
    }
    const SuggestInput input{json::string(*body, "content").value_or(""),
                             json::string(*body, "url"),
                             json::member(*body, "screenshot") != nullptr,
                             json::stringArray(*body, "tags").value_or(std::vector<std::string>{})};
    const auto classification = suggest_rules::classify(input, people_.list(caller->userID));
    return HttpReply::json(200, suggest_rules::reply(classification, input));
}

HttpReply FunctionsApi::transcribe(const httplib::Request& request) {
    const auto caller = authenticate(request, false);
    if (!caller) {
        return caller.error();
    }
    const auto body = bodyObject(request);
    if (!body) {
        return invalidJson();
    }
    const auto path = json::string(*body, "audio_path");
    if (!path || path->empty()) {
        return errors::function(400, "invalid_body", "\"audio_path\" is required");
    }
    const auto object = objects_.read(mediaBucket, *path);
    if (!object || object->owner != caller->userID) {
        return errors::function(404, "audio_not_found", "no audio stored at \"" + *path + "\"");
    }
    // No speech engine runs here. Text uploaded in place of audio stands for what was said, so
    // clients can be tested against a transcript.
    if (object->contentType.starts_with("text/")) {
        return HttpReply::json(200, Json{{"transcript", text::validUTF8(object->data)}});
    }
    return HttpReply::json(200, Json{{"reason", "no_speech_engine"}});
}

} // namespace devbackend
