#include "session_store.hpp"

#include "stamps.hpp"

#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/crypto.hpp>

#include <optional>

namespace devbackend {

namespace {

std::string randomToken() {
    const auto bytes = capturekit::crypto::secureRandomBytes(16);
    return capturekit::base64::encodeURLUnpadded(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace

std::string SessionStore::issueToken(std::string_view sessionID, const std::string* parent) {
    std::string token = randomToken();
    auto insert = database_.prepare("INSERT INTO refresh_tokens (token, session_id, parent, "
                                    "created_at) VALUES (?, ?, ?, ?)");
    insert.bind(1, token).bind(2, sessionID).bind(4, stamps::now());
    insert.bind(3, parent != nullptr ? std::optional(*parent) : std::nullopt);
    insert.run();
    return token;
}

SessionGrant SessionStore::start(std::string_view userID) {
    return database_.transaction([&] {
        SessionGrant grant{.sessionID = stamps::newID(), .userID = std::string(userID)};
        database_.prepare("INSERT INTO sessions (id, user_id, created_at) VALUES (?, ?, ?)")
            .bind(1, grant.sessionID)
            .bind(2, grant.userID)
            .bind(3, stamps::now())
            .run();
        grant.refreshToken = issueToken(grant.sessionID, nullptr);
        return grant;
    });
}

std::expected<SessionGrant, RefreshError> SessionStore::refresh(std::string_view refreshToken) {
    return database_.transaction([&]() -> std::expected<SessionGrant, RefreshError> {
        auto presented = database_.prepare(
            "SELECT t.session_id, t.revoked, s.user_id, s.revoked FROM refresh_tokens t "
            "JOIN sessions s ON s.id = t.session_id WHERE t.token = ?");
        presented.bind(1, refreshToken);
        if (!presented.step()) {
            return std::unexpected(RefreshError::notFound);
        }
        SessionGrant grant{.sessionID = presented.text(0), .userID = presented.text(2)};
        const bool tokenRevoked = presented.integer(1) != 0;
        const bool sessionRevoked = presented.integer(3) != 0;
        if (sessionRevoked) {
            return std::unexpected(RefreshError::alreadyUsed);
        }
        const std::string token(refreshToken);
        if (!tokenRevoked) {
            database_.prepare("UPDATE refresh_tokens SET revoked = 1 WHERE token = ?")
                .bind(1, token)
                .run();
            grant.refreshToken = issueToken(grant.sessionID, &token);
            return grant;
        }
        auto active = database_.prepare("SELECT token, parent FROM refresh_tokens "
                                        "WHERE session_id = ? AND revoked = 0");
        active.bind(1, grant.sessionID);
        if (active.step() && active.optionalText(1) == token) {
            grant.refreshToken = active.text(0);
            return grant;
        }
        database_.prepare("UPDATE refresh_tokens SET revoked = 1 WHERE session_id = ?")
            .bind(1, grant.sessionID)
            .run();
        database_.prepare("UPDATE sessions SET revoked = 1 WHERE id = ?")
            .bind(1, grant.sessionID)
            .run();
        return std::unexpected(RefreshError::alreadyUsed);
    });
}

void SessionStore::end(std::string_view sessionID, std::string_view userID, LogoutScope scope) {
    database_.transaction([&] {
        switch (scope) {
        case LogoutScope::local:
            database_.prepare("DELETE FROM sessions WHERE id = ? AND user_id = ?")
                .bind(1, sessionID)
                .bind(2, userID)
                .run();
            break;
        case LogoutScope::others:
            database_.prepare("DELETE FROM sessions WHERE user_id = ? AND id != ?")
                .bind(1, userID)
                .bind(2, sessionID)
                .run();
            break;
        case LogoutScope::global:
            database_.prepare("DELETE FROM sessions WHERE user_id = ?").bind(1, userID).run();
            break;
        }
    });
}

} // namespace devbackend
