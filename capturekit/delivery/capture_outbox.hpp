#pragma once

// Captures whose delivery failed, kept one file per item and delivered later with the idempotency
// key of their first try. The folder is "Outbox" in the suite's app-group container (else in the
// application's own data folder); item files are 0600 and replaced atomically, so an interrupted
// write leaves the old file or the new one, and its temporary file is ignored by listings (and
// removed by the next listing once atomic_file::abandonedTemporaryAge has passed).
//
// Every operation reads the files when called; nothing is kept in memory. Listings hold only the
// items of the current owner (SharedState::currentUserID()) and items without an owner; without
// an owner they are empty. Storage is best effort: unreadable or undecodable files are skipped
// and left alone.

#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/outbox_item.hpp>
#include <capturekit/model/capture_ingest_request.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/platform/date_time.hpp>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace capturekit::CaptureOutbox {

// Items kept per owner; the oldest beyond this are deleted after each queueing.
inline constexpr std::size_t maxItemsPerOwner = 200;
// Failed flush attempts after which an item is sent only by a forced flush.
inline constexpr std::int64_t stallAttempts = 8;
// The preferences key (app-group suite) of the outbox before it moved into files.
inline constexpr std::string_view legacyPreferencesKey = "captureOutbox";

enum class Disposition { drop, retry };

struct QueuedRow {
    std::string title;
    Destination destination = Destination::stash;
    Date age{}; // when the item was queued
    std::optional<std::string> error;
    bool operator==(const QueuedRow&) const = default;
};

struct Summary {
    Date oldest{};
    // The error of the newest item that has one, with its attempt count; absent and 0 when no
    // item has failed yet.
    std::optional<std::string> lastError;
    std::int64_t attempts = 0;
    bool operator==(const Summary&) const = default;
};

// The folder the items live in: the override when one is set, else "Outbox" in the app-group
// container (kept at mode 0700), else in the application's data folder. Absent when
// there is none.
std::optional<std::filesystem::path> directory();
// Replaces the computed folder for the whole process (used as given, never created); absent
// restores the computed one.
void setDirectoryOverride(std::optional<std::filesystem::path> folder);

// Queues a capture for the current owner, created now. True only when the item is on disk.
bool enqueue(const CaptureIngestRequest& request, const std::string& idempotencyKey,
             Destination logDestination, const std::string& logTitle);
// Saves an item built by the caller (for example with the key it already sent), then prunes the
// owner's items to the cap. True only when the item is on disk.
bool enqueue(const OutboxItem& item);

// The current owner's items, oldest first (equal times in file-name order).
std::vector<OutboxItem> pending();
std::size_t pendingCount();
// Pending items with stallAttempts or more failed attempts.
std::size_t stalledCount();
std::vector<QueuedRow> queued();
// Absent when nothing is pending.
std::optional<Summary> summary();

// Sends the current owner's items, oldest first, one at a time, and returns how many were
// delivered. A delivered item is removed and logged in the recents; a refused one (400, 413,
// 422) is removed; any other failure is written onto the item with one more attempt. Stalled
// items are skipped unless `force`. Stops before the next item once `deadline` has passed or
// `stop` is triggered; a send cut short by `stop` is not counted as a failed attempt. Flushes in
// any process of the user take turns, so no item is sent by two of them at once.
int flush(const CaptureClient& client, bool force, std::optional<Date> deadline,
          std::stop_token stop = {});

Disposition disposition(int statusCode);
// The short reason for a failed status: "rate limited (429)", "server 503", ...
std::string reason(int statusCode);

} // namespace capturekit::CaptureOutbox
