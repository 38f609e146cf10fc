// Decodes arbitrary bytes as an ingest request. Whatever decodes must encode, and decode again to
// the same request with the same text: the outbox stores requests and reads them back.

#include <capturekit/model/capture_ingest_request.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using capturekit::CaptureIngestRequest;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto request = CaptureIngestRequest::decode(text);
    if (!request) {
        return request.error().description().empty() ? 1 : 0;
    }
    const auto encoded = request->encoded();
    if (!encoded) {
        std::abort();
    }
    const auto again = CaptureIngestRequest::decode(*encoded);
    if (!again || *again != *request || again->encoded() != encoded) {
        std::abort();
    }
    return 0;
}
