#pragma once

// What a voice surface hands to the capture once a recording is transcribed.

#include <capturekit/platform/date_time.hpp>
#include <capturekit/voice/transcription_engine.hpp>

#include <optional>
#include <string>

namespace capturekit {

struct VoiceTranscriptionResult {
    std::optional<std::string> transcript{};
    std::optional<std::string> audioPath{}; // the uploaded audio's object path
    std::optional<Date> audioExpiresAt{};
    TranscriptionEngine engineUsed = TranscriptionEngine::onDevice;
    std::optional<std::string> note{}; // shown to the person

    bool operator==(const VoiceTranscriptionResult&) const = default;
};

} // namespace capturekit
