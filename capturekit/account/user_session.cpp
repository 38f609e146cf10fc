#include <capturekit/account/user_session.hpp>

#include <capturekit/platform/json.hpp>

namespace capturekit {

std::string UserSession::storedForm() const {
    OrderedJson object;
    object["accessToken"] = accessToken;
    object["refreshToken"] = refreshToken;
    object["expiresAt"] = dates::secondsSince2001(expiresAt);
    object["userID"] = userID;
    if (email) {
        object["email"] = *email;
    }
    return json::dump(object);
}

std::optional<UserSession> UserSession::fromStoredForm(std::string_view text) {
    const auto object = json::parse(text);
    if (!object || !object->is_object()) {
        return std::nullopt;
    }
    auto accessToken = json::string(*object, "accessToken");
    auto refreshToken = json::string(*object, "refreshToken");
    const auto seconds = json::number(*object, "expiresAt");
    auto userID = json::string(*object, "userID");
    const auto expiresAt = seconds ? dates::fromSecondsSince2001(*seconds) : std::nullopt;
    const Json* email = json::member(*object, "email");
    const bool emailReadable = email == nullptr || email->is_null() || email->is_string();
    if (!accessToken || !refreshToken || !expiresAt || !userID || !emailReadable) {
        return std::nullopt;
    }
    return UserSession{std::move(*accessToken), std::move(*refreshToken), *expiresAt,
                       std::move(*userID), json::string(*object, "email")};
}

} // namespace capturekit
