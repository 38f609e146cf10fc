#pragma once

// The person's two voice settings, kept in the app-group preferences shared by the suite: which
// engine transcribes and how long audio is kept. An absent, unreadable or unknown stored value
// reads as the default (on device; seven days).

#include <capturekit/voice/audio_retention.hpp>
#include <capturekit/voice/transcription_engine.hpp>

#include <string_view>

namespace capturekit::VoiceSettings {

inline constexpr std::string_view engineKey = "voiceTranscriptionEngine";
inline constexpr std::string_view retentionKey = "voiceAudioRetention";

inline constexpr bool cloudTranscriptionAvailable = true;

TranscriptionEngine engine();
void setEngine(TranscriptionEngine engine);
AudioRetention retention();
void setRetention(AudioRetention retention);

// The chosen engine when AI consent is granted, otherwise on device.
TranscriptionEngine effectiveEngine();

} // namespace capturekit::VoiceSettings
