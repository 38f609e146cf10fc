#pragma once

// The native session in the form the suite's web application reads: a JSON session under the
// local-storage key "sb-<project reference>-auth-token", mirrored in cookies of the same name
// (cut into numbered pieces when long), and the way back from either. Pure functions: anything
// that cannot be formatted or read gives nothing rather than an error.

#include <capturekit/account/user_session.hpp>
#include <capturekit/platform/date_time.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace capturekit::WebSessionCookies {

// The longest cookie value; a longer session is cut into cookies "<key>.0", "<key>.1", ...
inline constexpr std::size_t maxCookieValueLength = 3600;

// "sb-" + projectID + "-auth-token": the local-storage key and the session cookie's name.
std::string storageKey(std::string_view projectID);

// "." + the host of the environment's web suite origin (the production host when it has none).
const std::string& cookieDomain();

// The session object the web application keeps, as JSON text with sorted keys: access and
// refresh token, "bearer", "expires_at", "expires_in" (never below 0) and the user.
std::optional<std::string> sessionObject(const UserSession& session, Date now);

// A script that, on `origin`'s host only, stores the session under the storage key unless the web
// application already holds one there. Absent when the origin has no host.
std::optional<std::string> seedScript(const UserSession& session, std::string_view origin,
                                      std::string_view projectID, Date now);

using CookiePair = std::pair<std::string, std::string>; // name, value

// The session cookies' names and values: the session object percent-encoded (only ASCII letters,
// digits and "-_.!~*'()" stay as they are), in one cookie when it fits, else in numbered pieces.
std::vector<CookiePair> pairs(const UserSession& session, std::string_view projectID, Date now);

// The session from cookies by name: the storage key's cookie, else the numbered pieces joined up
// to the first missing index.
std::optional<UserSession> from(const std::map<std::string, std::string>& cookies,
                                std::string_view projectID);

// The session from the web application's JSON session. Needs "access_token" and "refresh_token"
// strings and a user id (the token's "sub", else the "user" object's "id"). `now` is the expiry
// when neither the token's "exp" nor "expires_at" gives one. The project reference is not needed
// to read the object; it is taken so that both readers are called alike.
std::optional<UserSession> fromJSON(std::string_view text, std::string_view projectID,
                                    Date now = dates::now());

// Percent-encoding with the cookie alphabet above, and its inverse (absent for a malformed
// escape or a result that is not UTF-8).
std::string percentEncoded(std::string_view text);
std::optional<std::string> percentDecoded(std::string_view text);

} // namespace capturekit::WebSessionCookies
