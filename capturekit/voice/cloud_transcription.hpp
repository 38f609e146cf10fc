#pragma once

// Whether a recording goes to the backend's transcription function, where its audio is stored,
// when the stored audio expires, and what the function's reply says. Pure functions.

#include <capturekit/platform/date_time.hpp>
#include <capturekit/voice/audio_retention.hpp>
#include <capturekit/voice/transcription_engine.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit::CloudTranscription {

inline constexpr std::string_view unavailableNote =
    "Cloud transcription isn't available in this build — used on-device.";
inline constexpr std::string_view signedOutNote =
    "Sign in (Settings → Account) to use cloud transcription — used on-device.";
inline constexpr std::string_view notOnWiFiNote = "Not on Wi-Fi — kept the on-device transcript.";

struct Plan {
    bool useCloud = false;
    std::optional<std::string> note{}; // why the cloud was not used, for the person

    bool operator==(const Plan&) const = default;
};

// Only the combined engine waits for Wi-Fi; on device alone never uses the cloud and says nothing.
Plan plan(TranscriptionEngine engine, bool cloudAvailable, bool signedIn, bool onWiFi);

// The uploaded audio's object path in the media bucket: uid + "/voice/" + recordingID + ".m4a".
std::string storagePath(std::string_view uid, std::string_view recordingID);

// When uploaded audio expires under a retention; absent for `off` and `keep`.
std::optional<Date> expiry(AudioRetention retention, Date from);

struct Outcome {
    std::optional<std::string> transcript{};
    std::optional<std::string> storagePath{};
    std::optional<std::string> reason{};

    bool operator==(const Outcome&) const = default;
};

inline constexpr std::string_view unparseableReason = "unparseable";
inline constexpr std::string_view emptyReason = "empty";

// Reads the function's reply, a JSON object with optional string members "transcript" and
// "reason": a transcript with text in it (trimmed), else the reply's reason, else "empty";
// "unparseable" for anything else. Never fails.
Outcome decode(std::string_view reply);

} // namespace capturekit::CloudTranscription
