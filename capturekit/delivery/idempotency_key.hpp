#pragma once

// Idempotency keys derived from content, so that sending the same thing again within a short
// window is recognised by the server as a repeat.

#include <capturekit/platform/date_time.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace capturekit::IdempotencyKey {

// The bucket length the desktop app uses for selected text: ten minutes.
inline constexpr std::int64_t selectionBucketSeconds = 600;

// "selection-" + the first 32 hex digits of the text's SHA-256 + "-" + the number of whole
// `bucketSeconds` periods since 1970 at `now` (truncated toward zero). The same text gives the
// same key within one bucket. A bucket length below one second counts as one second.
std::string selection(std::string_view text, Date now,
                      std::int64_t bucketSeconds = selectionBucketSeconds);

} // namespace capturekit::IdempotencyKey
