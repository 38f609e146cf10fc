#pragma once

#include <capturekit/platform/date_time.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

// The signed-in session. Stored as JSON with the field names as keys and `expiresAt` as seconds
// since 2001-01-01 00:00:00 UTC.
struct UserSession {
    std::string accessToken;
    std::string refreshToken;
    Date expiresAt;
    std::string userID;
    std::optional<std::string> email;

    static constexpr std::chrono::seconds refreshMargin{60};

    // More than `refreshMargin` left.
    bool isFresh(Date now) const { return expiresAt > now + refreshMargin; }
    bool isExpired(Date now) const { return expiresAt <= now; }

    std::string storedForm() const;
    // Absent when the text is not a stored session.
    static std::optional<UserSession> fromStoredForm(std::string_view text);

    bool operator==(const UserSession&) const = default;
};

} // namespace capturekit
