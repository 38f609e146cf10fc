#pragma once

// Filed captures, and the first reply given for each idempotency key of a user.

#include "database.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devbackend {

struct Entry {
    std::string id{};
    std::string userID{};
    std::optional<std::string> deviceID{};
    std::optional<std::string> requestedDestination{};
    std::string destination{};
    std::optional<std::string> category{};
    std::string status{};
    std::optional<std::string> routeState{};
    std::optional<std::string> idempotencyKey{};
    std::string body{}; // the request body as received
    std::string createdAt{};
};

struct StoredReply {
    int status = 0;
    std::string body{};
};

class EntryStore {
public:
    explicit EntryStore(Database& database) : database_(database) {}

    std::optional<StoredReply> replyFor(std::string_view userID, std::string_view key);
    // Adds the entry and keeps `reply` for its idempotency key, in one step. When a concurrent
    // request with the same key was filed first, nothing is added and that request's reply is
    // returned instead.
    StoredReply file(const Entry& entry, const StoredReply& reply);
    std::vector<Entry> list(std::string_view userID);

private:
    std::optional<StoredReply> selectReply(std::string_view userID, std::string_view key);

    Database& database_;
};

} // namespace devbackend
