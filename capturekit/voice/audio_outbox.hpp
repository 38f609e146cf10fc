#pragma once

// The local recordings: for a recording id X, the audio "X.m4a" and its record "X.json" in the
// "Recordings" folder of the app-group container (of the application's own data folder when the
// container cannot be had). Stateless and callable from any thread; every record write replaces
// the whole file atomically, so concurrent writers to one record follow last-writer-wins. Every
// operation fails quietly: unreadable records are skipped and left alone, failed writes report
// false, and an id that could name a file outside the folder ("/", "." or "..") finds nothing
// and saves nothing.

#include <capturekit/platform/date_time.hpp>
#include <capturekit/voice/audio_retention.hpp>
#include <capturekit/voice/pending_recording.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit::AudioOutbox {

inline constexpr std::string_view folderName = "Recordings";

// A new upper-case UUID.
std::string newRecordingID();

// The folder, created on first use and kept at mode 0700; absent when it cannot be created.
std::optional<std::filesystem::path> directory();
bool usingSharedContainer();

std::optional<std::filesystem::path> audioURL(std::string_view id);
bool hasAudio(std::string_view id);

// Writes the record (0600).
bool save(const PendingRecording& recording);
// Absent when the record is missing, does not decode, or belongs to another id.
std::optional<PendingRecording> load(std::string_view id);
// Every record that decodes, in no particular order.
std::vector<PendingRecording> all();

// The owner mark of recordings made now (the test runner's, the signed-in user's id or the device
// token's identity); absent when there is none.
std::optional<std::string> currentOwner();
// The records not yet sent that carry the given owner mark; none without an owner mark.
std::vector<PendingRecording> unsaved(const std::optional<std::string>& owner);
std::vector<PendingRecording> unsaved();

// Each loads the record, changes it and saves it; false when it is missing or cannot be saved.
bool markSaved(std::string_view id, Date at);
bool attachTranscript(std::string_view text, TranscriptionEngine engine, std::string_view id);

// Removes the audio and the record; missing files are ignored.
void remove(std::string_view id);

// A sent record is pruned once it has been sent for the retention's period: at once for `off`,
// never for `keep`. An unsent record is never pruned.
bool shouldPrune(const PendingRecording& recording, AudioRetention retention, Date now);
// Removes every record that shouldPrune holds for; how many were removed.
std::size_t prune(AudioRetention retention, Date now);

// The size of every file in the folder together.
std::uint64_t totalBytes();
// Decimal kilobytes below a megabyte ("0 KB", "1 KB", "999 KB"), megabytes with at most one
// decimal above ("1 MB", "2.5 MB"); a non-empty size never reads "0 KB".
std::string sizeLabel(std::int64_t bytes);
std::string durationLabel(const PendingRecording& recording);

} // namespace capturekit::AudioOutbox
