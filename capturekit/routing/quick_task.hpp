#pragma once

// A thought typed into the quick-entry box, turned into a ready ingest request for docket with
// the key that makes its delivery idempotent. No suggestion and no routing are involved.

#include <capturekit/account/platform_words.hpp>
#include <capturekit/model/capture_ingest_request.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

struct QuickTask {
    // The "source_app" of every quick task.
    static constexpr std::string_view sourceApp = PlatformWords::platformTag;
    // The only tag of every quick task.
    static constexpr std::string_view tag = "desktop";

    struct Entry {
        // The typed text, trimmed.
        std::string text{};
        // The caller's reference for this task (a fresh UUID from the panel).
        std::string ref{};
        CaptureIngestRequest request{};

        // "quick-" and the ref: the same task always has the same key, so a retry cannot file
        // it twice.
        std::string idempotencyKey() const { return "quick-" + ref; }

        bool operator==(const Entry&) const = default;
    };

    // Absent when the text is only white space and line breaks.
    static std::optional<Entry>
    entry(std::string_view text, const std::optional<std::string>& device, std::string_view ref);
};

} // namespace capturekit
