#pragma once

// One queued capture: the complete ingest request with the idempotency key of its first try, so
// that a retry can never file it twice. Stored as one JSON object per file, with camelCase keys
// in field order and dates as seconds since 2001-01-01 00:00:00 UTC.

#include <capturekit/model/capture_ingest_request.hpp>
#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/json.hpp>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

struct OutboxItem {
    std::string id; // canonical UUID text; also the file name
    CaptureIngestRequest request;
    std::string idempotencyKey;
    Destination logDestination = Destination::stash;
    std::string logTitle;
    Date createdAt{};
    std::optional<std::string> lastError; // the reason of the last failed retry
    std::optional<std::int64_t> attempts; // failed retries so far
    std::optional<std::string> owner;     // the owner mark at queueing time

    // A new item with a fresh UUID and no failures yet.
    static OutboxItem make(CaptureIngestRequest request, std::string idempotencyKey,
                           Destination logDestination, std::string logTitle, Date createdAt,
                           std::optional<std::string> owner);

    // Whether the id can name a file of its own in the outbox folder: not empty, no "/", no
    // ".." and no NUL.
    static bool isSafeID(std::string_view id);

    std::expected<OrderedJson, CodingError> toJson() const;
    std::expected<std::string, CodingError> encoded() const;
    static std::expected<OutboxItem, CodingError> fromJson(const Json& json);
    static std::expected<OutboxItem, CodingError> decode(std::string_view text);

    // Every field but `request`, which stays empty: the request's text is stepped over (it must
    // be an object whose strings and brackets are complete) and never built. Listings use this so
    // they do not pay for the large bodies (screenshots) they do not show.
    static std::expected<OutboxItem, CodingError> decodeSkippingRequest(std::string_view text);

    bool operator==(const OutboxItem&) const = default;
};

} // namespace capturekit
