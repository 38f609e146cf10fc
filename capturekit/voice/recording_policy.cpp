#include <capturekit/voice/recording_policy.hpp>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace capturekit::RecordingPolicy {

namespace {

constexpr float meterFloor = -60;
// Far beyond any recording, and small enough to convert to an integer without overflow.
constexpr double longestLabelledSeconds = 1e15;

} // namespace

bool shouldNudge(double elapsed) {
    return elapsed >= softLimit;
}

bool shouldHardStop(double elapsed) {
    return elapsed >= hardLimit;
}

bool shouldSilenceStop(double elapsed, double silentFor) {
    return silentFor >= silenceAutoStop && elapsed >= silenceGracePeriod;
}

bool isSilent(float averagePower) {
    return averagePower < silenceThreshold;
}

bool isTooShortToKeep(double duration) {
    return duration < minimumUsefulDuration;
}

float level(float power) {
    if (!std::isfinite(power) || power <= meterFloor) {
        return 0;
    }
    return std::pow((std::min(power, 0.0F) - meterFloor) / -meterFloor, 1.5F);
}

std::string timeLabel(double seconds) {
    const double whole =
        std::isnan(seconds) ? 0 : std::clamp(std::floor(seconds), 0.0, longestLabelledSeconds);
    const auto total = static_cast<std::int64_t>(whole);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%" PRId64 ":%02d", total / 60,
                  static_cast<int>(total % 60));
    return buffer;
}

} // namespace capturekit::RecordingPolicy
