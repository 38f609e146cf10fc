#include <capturekit/voice/voice_settings.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/capture_config.hpp>

#include <string>

namespace capturekit::VoiceSettings {

namespace {

template <RawRepresentable E> E stored(std::string_view key, E fallback) {
    const auto raw = CaptureConfig::appGroupPreferences().get<std::string>(key);
    return raw ? fromRawValue<E>(*raw).value_or(fallback) : fallback;
}

template <RawRepresentable E> void store(std::string_view key, E value) {
    CaptureConfig::appGroupPreferences().set(key, std::string(rawValue(value)));
}

} // namespace

TranscriptionEngine engine() {
    return stored(engineKey, TranscriptionEngine::onDevice);
}

void setEngine(TranscriptionEngine engine) {
    store(engineKey, engine);
}

AudioRetention retention() {
    return stored(retentionKey, AudioRetention::sevenDays);
}

void setRetention(AudioRetention retention) {
    store(retentionKey, retention);
}

TranscriptionEngine effectiveEngine() {
    return AIConsent::isGranted() ? engine() : TranscriptionEngine::onDevice;
}

} // namespace capturekit::VoiceSettings
