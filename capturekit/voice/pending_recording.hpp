#pragma once

// One local voice recording: when it was made, how long it is, its transcript once there is one,
// when its capture was sent, and whose it is. Stored as JSON with the field names as keys, absent
// values left out, and dates as seconds since 2001-01-01 00:00:00 UTC.

#include <capturekit/platform/date_time.hpp>
#include <capturekit/voice/transcription_engine.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

struct PendingRecording {
    std::string id{};
    Date createdAt{};
    double duration = 0; // seconds
    std::optional<std::string> transcript{};
    std::optional<TranscriptionEngine> transcribedBy{};
    std::optional<Date> savedAt{}; // when its capture was sent
    std::optional<std::string> owner{};

    // A transcript with more than white space in it.
    bool isTranscribed() const;

    // Absent when the record cannot be written as JSON (a duration that is not a finite number).
    std::optional<std::string> storedForm() const;
    // Absent when the text is not a stored record, including one naming an unknown engine.
    static std::optional<PendingRecording> fromStoredForm(std::string_view text);

    bool operator==(const PendingRecording&) const = default;
};

} // namespace capturekit
