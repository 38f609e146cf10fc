#include <capturekit/voice/transcription_engine.hpp>

namespace capturekit {

std::string_view title(TranscriptionEngine engine) {
    switch (engine) {
    case TranscriptionEngine::onDevice:
        return "On device";
    case TranscriptionEngine::cloud:
        return "Cloud (Whisper)";
    case TranscriptionEngine::onDeviceThenCloud:
        return "On device, upgrade on Wi-Fi";
    }
    return {};
}

std::string_view wireName(TranscriptionEngine engine) {
    switch (engine) {
    case TranscriptionEngine::onDevice:
        return "on-device";
    case TranscriptionEngine::cloud:
        return "whisper";
    case TranscriptionEngine::onDeviceThenCloud:
        return "on-device+whisper";
    }
    return {};
}

bool usesCloud(TranscriptionEngine engine) {
    return engine != TranscriptionEngine::onDevice;
}

} // namespace capturekit
