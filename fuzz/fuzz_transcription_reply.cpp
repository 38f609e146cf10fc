// Reads arbitrary bytes as the transcription function's reply, and as a stored recording. A reply
// gives exactly one of a trimmed, non-empty transcript and a reason; a record that decodes is
// written back and read again unchanged.

#include <capturekit/platform/text.hpp>
#include <capturekit/voice/cloud_transcription.hpp>
#include <capturekit/voice/pending_recording.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace capturekit;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto outcome = CloudTranscription::decode(input);
    require(outcome.transcript.has_value() != outcome.reason.has_value());
    require(!outcome.storagePath);
    if (outcome.transcript) {
        require(!outcome.transcript->empty() &&
                text::trimmed(*outcome.transcript) == *outcome.transcript);
        require(text::isValidUTF8(*outcome.transcript));
    }

    if (const auto recording = PendingRecording::fromStoredForm(input)) {
        const auto stored = recording->storedForm();
        require(stored.has_value());
        require(PendingRecording::fromStoredForm(*stored) == recording);
    }
    return 0;
}
