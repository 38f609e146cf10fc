#pragma once

// How long recorded audio is kept: on the device after its capture was sent, and in the backend's
// storage after upload.

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <chrono>
#include <optional>
#include <string_view>

namespace capturekit {

enum class AudioRetention { off, sevenDays, thirtyDays, keep };

template <> struct RawValues<AudioRetention> {
    static constexpr std::array<std::string_view, 4> names{"off", "sevenDays", "thirtyDays",
                                                           "keep"};
};

std::string_view title(AudioRetention retention);

// The limited periods: seven and thirty days. Absent for `off` and `keep`, which set no end.
std::optional<std::chrono::seconds> limitedPeriod(AudioRetention retention);

} // namespace capturekit
