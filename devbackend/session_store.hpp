#pragma once

// Sessions and their refresh-token families. Each refresh spends the presented token and hands
// out its child; presenting the parent of the active token again returns the active token (a
// client that lost the reply may retry), while presenting any older token is taken as theft and
// revokes the whole family.

#include "database.hpp"

#include <expected>
#include <string>
#include <string_view>

namespace devbackend {

struct SessionGrant {
    std::string sessionID{};
    std::string userID{};
    std::string refreshToken{};
};

enum class RefreshError { notFound, alreadyUsed };

enum class LogoutScope { global, local, others };

class SessionStore {
public:
    explicit SessionStore(Database& database) : database_(database) {}

    SessionGrant start(std::string_view userID);
    std::expected<SessionGrant, RefreshError> refresh(std::string_view refreshToken);
    // Deletes sessions with their tokens, so their refresh tokens are no longer found.
    void end(std::string_view sessionID, std::string_view userID, LogoutScope scope);

private:
    std::string issueToken(std::string_view sessionID, const std::string* parent);

    Database& database_;
};

} // namespace devbackend
