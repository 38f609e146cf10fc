#include <capturekit/delivery/capture_outbox.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/file_lock.hpp>
#include <capturekit/platform/paths.hpp>

#include <algorithm>
#include <limits>
#include <mutex>

namespace capturekit::CaptureOutbox {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view itemSuffix = ".json";
constexpr std::string_view folderName = "Outbox";
constexpr std::string_view flushLockName = ".flush.lock";
// A flush without a deadline waits this long at most for another one to finish.
constexpr std::chrono::hours longestFlushWait{24};

std::mutex overrideMutex;
std::optional<fs::path> overrideFolder;

std::optional<fs::path> computedDirectory() {
    auto base = CaptureConfig::appGroupContainer();
    if (!base) {
        base = paths::applicationSupport();
    }
    if (!base) {
        return std::nullopt;
    }
    const fs::path folder = *base / folderName;
    paths::claimPrivateDirectory(folder);
    return folder;
}

fs::path location(const fs::path& folder, const std::string& id) {
    return folder / (id + std::string(itemSuffix));
}

bool write(const OutboxItem& item, const fs::path& file) {
    const auto text = item.encoded();
    return text && atomic_file::write(file, *text, 0600).has_value();
}

bool save(const OutboxItem& item) {
    if (!OutboxItem::isSafeID(item.id)) {
        return false;
    }
    const auto folder = directory();
    return folder && write(item, location(*folder, item.id));
}

void removeFile(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

// A temporary of an item file is hidden and does not end in ".json", so listings pass it by.
bool isItemTemporary(std::string_view name) {
    const auto target = atomic_file::temporaryTarget(name);
    return target && target->ends_with(itemSuffix);
}

std::optional<std::string> legacyText(const PreferenceValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    if (const auto* bytes = std::get_if<PreferenceBytes>(&value)) {
        return std::string(bytes->begin(), bytes->end());
    }
    return std::nullopt;
}

// Moves the items of the old single-key storage into files. The key goes only once every item
// that can be read is on disk (and only if nobody changed it meanwhile); an item that cannot be
// decoded at all can never be moved and does not hold the others back.
void migrateLegacy() {
    const Preferences store = CaptureConfig::appGroupPreferences();
    const auto stored = store.value(legacyPreferencesKey);
    if (!stored) {
        return;
    }
    const auto text = legacyText(*stored);
    const auto array = text ? json::parse(*text) : std::nullopt;
    bool allWritten = true;
    if (array && array->is_array()) {
        for (const Json& element : *array) {
            if (const auto item = OutboxItem::fromJson(element)) {
                allWritten = save(*item) && allWritten;
            }
        }
    }
    if (allWritten) {
        store.update(legacyPreferencesKey, [&](std::optional<PreferenceValue> current) {
            return current == stored ? std::nullopt : current;
        });
    }
}

struct StoredItem {
    OutboxItem item;
    fs::path file;
};

enum class Depth { withoutRequest, whole };

std::vector<fs::path> itemFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.ends_with(itemSuffix)) {
            files.push_back(entry->path());
        } else if (isItemTemporary(name)) {
            atomic_file::removeIfAbandoned(entry->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<OutboxItem> readItem(const fs::path& file, Depth depth) {
    const auto contents = atomic_file::read(file);
    if (!contents) {
        return std::nullopt;
    }
    auto item = depth == Depth::whole ? OutboxItem::decode(*contents)
                                      : OutboxItem::decodeSkippingRequest(*contents);
    if (!item || !OutboxItem::isSafeID(item->id)) {
        return std::nullopt;
    }
    return std::move(*item);
}

std::vector<StoredItem> loadAll(Depth depth) {
    migrateLegacy();
    const auto folder = directory();
    if (!folder) {
        return {};
    }
    std::vector<StoredItem> items;
    for (const fs::path& file : itemFiles(*folder)) {
        if (auto item = readItem(file, depth)) {
            items.push_back({std::move(*item), file});
        }
    }
    std::stable_sort(items.begin(), items.end(), [](const StoredItem& a, const StoredItem& b) {
        return a.item.createdAt < b.item.createdAt;
    });
    return items;
}

std::vector<StoredItem> ownedItems(Depth depth) {
    const auto owner = SharedState::currentUserID();
    if (!owner) {
        return {};
    }
    auto items = loadAll(depth);
    std::erase_if(items, [&](const StoredItem& stored) {
        return stored.item.owner && *stored.item.owner != *owner;
    });
    return items;
}

bool isStalled(const OutboxItem& item) {
    return item.attempts && *item.attempts >= stallAttempts;
}

void prune() {
    const auto items = ownedItems(Depth::withoutRequest);
    if (items.size() <= maxItemsPerOwner) {
        return;
    }
    const auto excess = static_cast<std::ptrdiff_t>(items.size() - maxItemsPerOwner);
    std::for_each(items.begin(), items.begin() + excess,
                  [](const StoredItem& stored) { removeFile(stored.file); });
}

// Rewrites the item's file as it is now (another process may have changed it) with one more
// failed attempt; a file that is gone or unreadable stays as it is.
void recordFailure(const fs::path& file, std::string why) {
    auto item = readItem(file, Depth::whole);
    if (!item) {
        return;
    }
    item->lastError = std::move(why);
    const std::int64_t attempts = item->attempts.value_or(0);
    item->attempts = attempts < std::numeric_limits<std::int64_t>::max() ? attempts + 1 : attempts;
    write(*item, file);
}

void recordDelivery(const OutboxItem& item, const IngestResult& result) {
    SharedState::logCapture(item.logDestination, item.logTitle, result.id, std::nullopt,
                            result.category, dates::now());
}

std::chrono::milliseconds lockWait(std::optional<Date> deadline) {
    if (!deadline) {
        return longestFlushWait;
    }
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - dates::now()),
                    std::chrono::milliseconds::zero());
}

} // namespace

std::optional<fs::path> directory() {
    {
        const std::lock_guard lock(overrideMutex);
        if (overrideFolder) {
            return overrideFolder;
        }
    }
    return computedDirectory();
}

void setDirectoryOverride(std::optional<fs::path> folder) {
    const std::lock_guard lock(overrideMutex);
    overrideFolder = std::move(folder);
}

bool enqueue(const CaptureIngestRequest& request, const std::string& idempotencyKey,
             Destination logDestination, const std::string& logTitle) {
    return enqueue(OutboxItem::make(request, idempotencyKey, logDestination, logTitle, dates::now(),
                                    SharedState::currentUserID()));
}

bool enqueue(const OutboxItem& item) {
    const bool saved = save(item);
    prune();
    return saved;
}

std::vector<OutboxItem> pending() {
    std::vector<OutboxItem> items;
    for (auto& stored : ownedItems(Depth::whole)) {
        items.push_back(std::move(stored.item));
    }
    return items;
}

std::size_t pendingCount() {
    return ownedItems(Depth::withoutRequest).size();
}

std::size_t stalledCount() {
    const auto items = ownedItems(Depth::withoutRequest);
    return static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(),
                      [](const StoredItem& stored) { return isStalled(stored.item); }));
}

std::vector<QueuedRow> queued() {
    std::vector<QueuedRow> rows;
    for (auto& stored : ownedItems(Depth::withoutRequest)) {
        rows.push_back({std::move(stored.item.logTitle), stored.item.logDestination,
                        stored.item.createdAt, std::move(stored.item.lastError)});
    }
    return rows;
}

std::optional<Summary> summary() {
    const auto items = ownedItems(Depth::withoutRequest);
    if (items.empty()) {
        return std::nullopt;
    }
    Summary result;
    result.oldest = items.front().item.createdAt;
    const OutboxItem* newestFailed = nullptr;
    for (const auto& stored : items) {
        if (stored.item.lastError &&
            (newestFailed == nullptr || stored.item.createdAt > newestFailed->createdAt)) {
            newestFailed = &stored.item;
        }
    }
    if (newestFailed != nullptr) {
        result.lastError = newestFailed->lastError;
        result.attempts = newestFailed->attempts.value_or(0);
    }
    return result;
}

int flush(const CaptureClient& client, bool force, std::optional<Date> deadline,
          std::stop_token stop) {
    const auto folder = directory();
    std::error_code error;
    if (!folder || !fs::is_directory(*folder, error)) {
        return 0;
    }
    const FileLock turn(*folder / flushLockName, lockWait(deadline), stop);
    if (turn.outcome() == FileLock::Outcome::timedOut ||
        turn.outcome() == FileLock::Outcome::stopped) {
        return 0;
    }
    int delivered = 0;
    // The list is read without the requests; each request is read just before it is sent, so a
    // pass over large items holds one of them in memory at a time.
    for (const StoredItem& listed : ownedItems(Depth::withoutRequest)) {
        if (stop.stop_requested() || (deadline && dates::now() >= *deadline)) {
            break;
        }
        const auto item = readItem(listed.file, Depth::whole);
        if (!item || (!force && isStalled(*item))) {
            continue;
        }
        const auto result = client.send(item->request, item->idempotencyKey, stop);
        if (result && result->success) {
            removeFile(listed.file);
            recordDelivery(*item, *result);
            ++delivered;
        } else if (result) {
            if (disposition(result->statusCode) == Disposition::drop) {
                removeFile(listed.file);
            } else {
                recordFailure(listed.file, reason(result->statusCode));
            }
        } else if (!stop.stop_requested()) {
            recordFailure(listed.file, std::to_string(result.error().code()) + " " +
                                           result.error().description());
        }
    }
    return delivered;
}

Disposition disposition(int statusCode) {
    return statusCode == 400 || statusCode == 413 || statusCode == 422 ? Disposition::drop
                                                                       : Disposition::retry;
}

std::string reason(int statusCode) {
    switch (statusCode) {
    case 429:
        return "rate limited (429)";
    case 403:
        return "refused (403) — this device's token can't write here";
    case 401:
        return "not authorised (401) — sign in again to set this device up";
    default:
        return "server " + std::to_string(statusCode);
    }
}

} // namespace capturekit::CaptureOutbox
