#pragma once

// The limits a recorder applies while recording: a nudge from three minutes on, a stop at ten,
// a stop after thirty seconds of continuous silence once five seconds are recorded, and no
// recording kept that is shorter than a second. Times are in seconds, power in decibels.

#include <string>

namespace capturekit::RecordingPolicy {

inline constexpr double softLimit = 180;
inline constexpr double hardLimit = 600;
inline constexpr double silenceAutoStop = 30;
inline constexpr float silenceThreshold = -45;
inline constexpr double silenceGracePeriod = 5;
inline constexpr double minimumUsefulDuration = 1;

bool shouldNudge(double elapsed);
bool shouldHardStop(double elapsed);
bool shouldSilenceStop(double elapsed, double silentFor);
bool isSilent(float averagePower);
bool isTooShortToKeep(double duration);

// The meter level, 0…1, of an average power: 0 at or below -60 dB and for a power that is not a
// number, 1 at 0 dB and above, rising with the power of 1.5 between.
float level(float power);

// "m:ss" of the whole seconds ("1:01", "10:00"); negative and non-numbers read "0:00".
std::string timeLabel(double seconds);

} // namespace capturekit::RecordingPolicy
