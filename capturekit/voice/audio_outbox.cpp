#include <capturekit/voice/audio_outbox.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/paths.hpp>
#include <capturekit/platform/uuid.hpp>
#include <capturekit/voice/recording_policy.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace capturekit::AudioOutbox {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view audioExtension = ".m4a";
constexpr std::string_view recordExtension = ".json";

std::optional<fs::path> fileFor(std::string_view id, std::string_view extension) {
    if (!paths::isPlainComponent(id)) {
        return std::nullopt;
    }
    const auto folder = directory();
    if (!folder) {
        return std::nullopt;
    }
    return *folder / (std::string(id) + std::string(extension));
}

std::optional<PendingRecording> readRecord(const fs::path& file, std::string_view id) {
    const auto contents = atomic_file::read(file);
    if (!contents) {
        return std::nullopt;
    }
    auto recording = PendingRecording::fromStoredForm(*contents);
    if (!recording || recording->id != id) {
        return std::nullopt;
    }
    return recording;
}

// At most one decimal, without a trailing ".0", and never in exponent form.
std::string oneDecimal(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    std::string out(buffer);
    if (out.ends_with(".0")) {
        out.resize(out.size() - 2);
    }
    return out;
}

template <typename Change> bool changeRecord(std::string_view id, Change change) {
    auto recording = load(id);
    if (!recording) {
        return false;
    }
    change(*recording);
    return save(*recording);
}

} // namespace

std::string newRecordingID() {
    return makeUUIDString();
}

bool usingSharedContainer() {
    return CaptureConfig::appGroupContainer().has_value();
}

std::optional<fs::path> directory() {
    auto base = CaptureConfig::appGroupContainer();
    if (!base) {
        base = paths::applicationSupport();
    }
    if (!base) {
        return std::nullopt;
    }
    const auto folder = paths::claimPrivateDirectory(*base / folderName);
    return folder ? std::optional(*folder) : std::nullopt;
}

std::optional<fs::path> audioURL(std::string_view id) {
    return fileFor(id, audioExtension);
}

bool hasAudio(std::string_view id) {
    const auto file = audioURL(id);
    std::error_code error;
    return file && fs::exists(*file, error);
}

bool save(const PendingRecording& recording) {
    const auto file = fileFor(recording.id, recordExtension);
    const auto contents = recording.storedForm();
    return file && contents && atomic_file::write(*file, *contents, 0600).has_value();
}

std::optional<PendingRecording> load(std::string_view id) {
    const auto file = fileFor(id, recordExtension);
    return file ? readRecord(*file, id) : std::nullopt;
}

std::vector<PendingRecording> all() {
    std::vector<PendingRecording> recordings;
    const auto folder = directory();
    if (!folder) {
        return recordings;
    }
    std::error_code error;
    for (fs::directory_iterator it(*folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& file = it->path();
        std::error_code typeError;
        if (file.extension() != recordExtension || !it->is_regular_file(typeError)) {
            continue;
        }
        if (auto recording = readRecord(file, file.stem().string())) {
            recordings.push_back(std::move(*recording));
        }
    }
    return recordings;
}

std::optional<std::string> currentOwner() {
    return SharedState::currentUserID();
}

std::vector<PendingRecording> unsaved(const std::optional<std::string>& owner) {
    std::vector<PendingRecording> waiting;
    if (!owner) {
        return waiting;
    }
    for (auto& recording : all()) {
        if (!recording.savedAt && recording.owner == owner) {
            waiting.push_back(std::move(recording));
        }
    }
    return waiting;
}

std::vector<PendingRecording> unsaved() {
    return unsaved(currentOwner());
}

bool markSaved(std::string_view id, Date at) {
    return changeRecord(id, [&](PendingRecording& recording) { recording.savedAt = at; });
}

bool attachTranscript(std::string_view text, TranscriptionEngine engine, std::string_view id) {
    return changeRecord(id, [&](PendingRecording& recording) {
        recording.transcript = std::string(text);
        recording.transcribedBy = engine;
    });
}

void remove(std::string_view id) {
    for (const std::string_view extension : {audioExtension, recordExtension}) {
        if (const auto file = fileFor(id, extension)) {
            std::error_code ignored;
            fs::remove(*file, ignored);
        }
    }
}

bool shouldPrune(const PendingRecording& recording, AudioRetention retention, Date now) {
    if (!recording.savedAt || retention == AudioRetention::keep) {
        return false;
    }
    const auto period = limitedPeriod(retention).value_or(std::chrono::seconds{0});
    return now - *recording.savedAt >= period;
}

std::size_t prune(AudioRetention retention, Date now) {
    std::size_t removed = 0;
    for (const auto& recording : all()) {
        if (shouldPrune(recording, retention, now)) {
            remove(recording.id);
            ++removed;
        }
    }
    return removed;
}

std::uint64_t totalBytes() {
    std::uint64_t total = 0;
    const auto folder = directory();
    if (!folder) {
        return total;
    }
    std::error_code error;
    for (fs::directory_iterator it(*folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError)) {
            const auto size = it->file_size(sizeError);
            total += sizeError ? 0 : size;
        }
    }
    return total;
}

std::string sizeLabel(std::int64_t bytes) {
    constexpr double kilobyte = 1000;
    constexpr double megabyte = 1000 * kilobyte;
    const double size = bytes > 0 ? static_cast<double>(bytes) : 0;
    const double kilobytes = std::round(size / kilobyte);
    if (kilobytes < kilobyte) {
        const double shown = size > 0 ? std::max(kilobytes, 1.0) : 0;
        return oneDecimal(shown) + " KB";
    }
    return oneDecimal(size / megabyte) + " MB";
}

std::string durationLabel(const PendingRecording& recording) {
    return RecordingPolicy::timeLabel(recording.duration);
}

} // namespace capturekit::AudioOutbox
