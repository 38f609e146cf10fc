#include "entry_store.hpp"

#include "stamps.hpp"

namespace devbackend {

std::optional<StoredReply> EntryStore::selectReply(std::string_view userID, std::string_view key) {
    auto select = database_.prepare(
        "SELECT status, body FROM idempotent_replies WHERE user_id = ? AND key = ?");
    select.bind(1, userID).bind(2, key);
    if (!select.step()) {
        return std::nullopt;
    }
    return StoredReply{static_cast<int>(select.integer(0)), select.text(1)};
}

std::optional<StoredReply> EntryStore::replyFor(std::string_view userID, std::string_view key) {
    return database_.transaction([&] { return selectReply(userID, key); });
}

StoredReply EntryStore::file(const Entry& entry, const StoredReply& reply) {
    const std::string now = stamps::now();
    return database_.transaction([&] {
        if (entry.idempotencyKey) {
            if (auto earlier = selectReply(entry.userID, *entry.idempotencyKey)) {
                return *earlier;
            }
            database_
                .prepare("INSERT INTO idempotent_replies (user_id, key, status, body, created_at) "
                         "VALUES (?, ?, ?, ?, ?)")
                .bind(1, entry.userID)
                .bind(2, *entry.idempotencyKey)
                .bind(3, reply.status)
                .bind(4, reply.body)
                .bind(5, now)
                .run();
        }
        database_
            .prepare("INSERT INTO entries (id, user_id, device_id, requested_destination, "
                     "destination, category, status, route_state, idempotency_key, body, "
                     "created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, entry.id)
            .bind(2, entry.userID)
            .bind(3, entry.deviceID)
            .bind(4, entry.requestedDestination)
            .bind(5, entry.destination)
            .bind(6, entry.category)
            .bind(7, entry.status)
            .bind(8, entry.routeState)
            .bind(9, entry.idempotencyKey)
            .bind(10, entry.body)
            .bind(11, now)
            .run();
        return reply;
    });
}

std::vector<Entry> EntryStore::list(std::string_view userID) {
    return database_.transaction([&] {
        auto select = database_.prepare(
            "SELECT id, user_id, device_id, requested_destination, destination, category, status, "
            "route_state, idempotency_key, body, created_at FROM entries WHERE user_id = ? "
            "ORDER BY seq");
        select.bind(1, userID);
        std::vector<Entry> entries;
        while (select.step()) {
            entries.push_back(Entry{select.text(0), select.text(1), select.optionalText(2),
                                    select.optionalText(3), select.text(4), select.optionalText(5),
                                    select.text(6), select.optionalText(7), select.optionalText(8),
                                    select.text(9), select.text(10)});
        }
        return entries;
    });
}

} // namespace devbackend
