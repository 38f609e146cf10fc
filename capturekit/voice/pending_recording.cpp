#include <capturekit/voice/pending_recording.hpp>

#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

#include <cmath>

namespace capturekit {

namespace {

// A member that is missing or null counts as absent; any other value must have the right type.
template <typename T, typename Read>
bool readOptional(const Json& object, std::string_view key, std::optional<T>& out, Read read) {
    const Json* value = json::member(object, key);
    if (value == nullptr || value->is_null()) {
        return true;
    }
    out = read(*value);
    return out.has_value();
}

std::optional<std::string> asString(const Json& value) {
    return value.is_string() ? std::optional(value.get<std::string>()) : std::nullopt;
}

std::optional<Date> asDate(const Json& value) {
    return value.is_number() ? dates::fromSecondsSince2001(value.get<double>()) : std::nullopt;
}

std::optional<TranscriptionEngine> asEngine(const Json& value) {
    return value.is_string() ? fromRawValue<TranscriptionEngine>(value.get<std::string>())
                             : std::nullopt;
}

} // namespace

bool PendingRecording::isTranscribed() const {
    return transcript && !text::isBlank(*transcript);
}

std::optional<std::string> PendingRecording::storedForm() const {
    if (!std::isfinite(duration)) {
        return std::nullopt;
    }
    OrderedJson object;
    object["id"] = id;
    object["createdAt"] = dates::secondsSince2001(createdAt);
    object["duration"] = duration;
    if (transcript) {
        object["transcript"] = *transcript;
    }
    if (transcribedBy) {
        object["transcribedBy"] = rawValue(*transcribedBy);
    }
    if (savedAt) {
        object["savedAt"] = dates::secondsSince2001(*savedAt);
    }
    if (owner) {
        object["owner"] = *owner;
    }
    return json::dump(object);
}

std::optional<PendingRecording> PendingRecording::fromStoredForm(std::string_view text) {
    const auto object = json::parse(text);
    if (!object || !object->is_object()) {
        return std::nullopt;
    }
    auto id = json::string(*object, "id");
    const auto createdAt = json::number(*object, "createdAt").and_then(dates::fromSecondsSince2001);
    const auto duration = json::number(*object, "duration");
    if (!id || !createdAt || !duration) {
        return std::nullopt;
    }
    PendingRecording recording{
        .id = std::move(*id), .createdAt = *createdAt, .duration = *duration};
    const bool optionalsRead =
        readOptional(*object, "transcript", recording.transcript, asString) &&
        readOptional(*object, "transcribedBy", recording.transcribedBy, asEngine) &&
        readOptional(*object, "savedAt", recording.savedAt, asDate) &&
        readOptional(*object, "owner", recording.owner, asString);
    if (!optionalsRead) {
        return std::nullopt;
    }
    return recording;
}

} // namespace capturekit
