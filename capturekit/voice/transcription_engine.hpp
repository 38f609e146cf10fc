#pragma once

// Who turns a recording into text: the device, the backend's transcription function, or the
// device first with a cloud upgrade on Wi-Fi.

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <string_view>

namespace capturekit {

enum class TranscriptionEngine { onDevice, cloud, onDeviceThenCloud };

template <> struct RawValues<TranscriptionEngine> {
    static constexpr std::array<std::string_view, 3> names{"onDevice", "cloud",
                                                           "onDeviceThenCloud"};
};

// The name shown in settings ("On device").
std::string_view title(TranscriptionEngine engine);
// The name sent with a capture ("on-device+whisper").
std::string_view wireName(TranscriptionEngine engine);
bool usesCloud(TranscriptionEngine engine);

} // namespace capturekit
