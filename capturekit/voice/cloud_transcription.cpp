#include <capturekit/voice/cloud_transcription.hpp>

#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

namespace capturekit::CloudTranscription {

namespace {

Plan onDeviceSaying(std::string_view note) {
    return Plan{.useCloud = false, .note = std::string(note)};
}

// A member that is missing or null is absent; one of another type makes the reply unreadable.
bool optionalString(const Json& object, std::string_view key, std::optional<std::string>& out) {
    const Json* value = json::member(object, key);
    if (value == nullptr || value->is_null()) {
        return true;
    }
    if (!value->is_string()) {
        return false;
    }
    out = value->get<std::string>();
    return true;
}

Outcome withReason(std::string_view reason) {
    return Outcome{.reason = std::string(reason)};
}

} // namespace

Plan plan(TranscriptionEngine engine, bool cloudAvailable, bool signedIn, bool onWiFi) {
    if (engine == TranscriptionEngine::onDevice) {
        return {};
    }
    if (!cloudAvailable) {
        return onDeviceSaying(unavailableNote);
    }
    if (!signedIn) {
        return onDeviceSaying(signedOutNote);
    }
    if (engine == TranscriptionEngine::onDeviceThenCloud && !onWiFi) {
        return onDeviceSaying(notOnWiFiNote);
    }
    return Plan{.useCloud = true};
}

std::string storagePath(std::string_view uid, std::string_view recordingID) {
    return std::string(uid) + "/voice/" + std::string(recordingID) + ".m4a";
}

std::optional<Date> expiry(AudioRetention retention, Date from) {
    return limitedPeriod(retention).transform(
        [&](std::chrono::seconds period) { return from + period; });
}

Outcome decode(std::string_view reply) {
    const auto object = json::parse(reply);
    std::optional<std::string> transcript;
    std::optional<std::string> reason;
    if (!object || !object->is_object() || !optionalString(*object, "transcript", transcript) ||
        !optionalString(*object, "reason", reason)) {
        return withReason(unparseableReason);
    }
    if (auto text = transcript ? text::trimmedNonEmpty(*transcript) : std::nullopt) {
        return Outcome{.transcript = std::move(text)};
    }
    return withReason(reason ? std::string_view(*reason) : emptyReason);
}

} // namespace capturekit::CloudTranscription
