#include "gotrue_api.hpp"

#include "stamps.hpp"

#include <httplib.h>

namespace devbackend {

using capturekit::Json;
namespace json = capturekit::json;

namespace {

Json userJson(const User& user) {
    return Json{{"id", user.id},
                {"aud", "authenticated"},
                {"role", "authenticated"},
                {"email", user.email},
                {"email_confirmed_at", user.createdAt},
                {"phone", ""},
                {"confirmed_at", user.createdAt},
                {"last_sign_in_at", user.lastSignInAt ? Json(*user.lastSignInAt) : Json(nullptr)},
                {"app_metadata", Json{{"provider", "email"}, {"providers", {"email"}}}},
                {"user_metadata", Json::object()},
                {"identities", Json::array()},
                {"created_at", user.createdAt},
                {"updated_at", user.lastSignInAt.value_or(user.createdAt)},
                {"is_anonymous", false}};
}

std::optional<Json> bodyObject(const httplib::Request& request) {
    auto body = json::parse(request.body);
    if (!body || !body->is_object()) {
        return std::nullopt;
    }
    return body;
}

HttpReply badJson() {
    return errors::auth(400, "bad_json", "Could not parse request body as JSON");
}

} // namespace

HttpReply GoTrueApi::handle(const httplib::Request& request) {
    struct Route {
        std::string_view path;
        std::string_view method;
        HttpReply (GoTrueApi::*handler)(const httplib::Request&);
    };
    static constexpr Route routes[] = {
        {"/auth/v1/token", "POST", &GoTrueApi::token},
        {"/auth/v1/logout", "POST", &GoTrueApi::logout},
        {"/auth/v1/user", "GET", &GoTrueApi::currentUser},
    };
    for (const Route& route : routes) {
        if (request.path == route.path) {
            if (request.method != route.method) {
                return errors::auth(405, "method_not_allowed", "Method Not Allowed");
            }
            return (this->*route.handler)(request);
        }
    }
    return errors::auth(404, "not_found", "Not Found");
}

HttpReply GoTrueApi::token(const httplib::Request& request) {
    const std::string grantType = request.get_param_value("grant_type");
    const auto body = bodyObject(request);
    if (!body) {
        return badJson();
    }
    if (grantType == "password") {
        return passwordGrant(*body);
    }
    if (grantType == "refresh_token") {
        return refreshGrant(*body);
    }
    return errors::auth(400, "validation_failed",
                        "unsupported_grant_type: use password or refresh_token");
}

HttpReply GoTrueApi::passwordGrant(const Json& body) {
    const auto email = json::string(body, "email");
    const auto password = json::string(body, "password");
    if (!email || email->empty()) {
        return errors::auth(400, "validation_failed", "missing email or phone");
    }
    if (!password || password->empty()) {
        return errors::auth(400, "validation_failed", "missing password");
    }
    const auto user = users_.signIn(*email, *password);
    if (!user) {
        return errors::auth(400, "invalid_credentials", "Invalid login credentials");
    }
    return session(*user, sessions_.start(user->id), "password");
}

HttpReply GoTrueApi::refreshGrant(const Json& body) {
    const auto refreshToken = json::string(body, "refresh_token");
    if (!refreshToken || refreshToken->empty()) {
        return errors::auth(400, "validation_failed", "refresh_token required");
    }
    const auto grant = sessions_.refresh(*refreshToken);
    if (!grant) {
        return grant.error() == RefreshError::notFound
                   ? errors::auth(400, "refresh_token_not_found",
                                  "Invalid Refresh Token: Refresh Token Not Found")
                   : errors::auth(400, "refresh_token_already_used",
                                  "Invalid Refresh Token: Already Used");
    }
    const auto user = users_.findByID(grant->userID);
    if (!user) {
        return errors::auth(400, "refresh_token_not_found",
                            "Invalid Refresh Token: Refresh Token Not Found");
    }
    return session(*user, *grant, "token_refresh");
}

HttpReply GoTrueApi::session(const User& user, const SessionGrant& grant, std::string_view method) {
    const std::int64_t now = stamps::secondsNow();
    const std::int64_t expiresAt = now + settings_.accessTokenSeconds;
    const Json claims{{"aud", "authenticated"},
                      {"exp", expiresAt},
                      {"iat", now},
                      {"iss", settings_.issuer},
                      {"sub", user.id},
                      {"email", user.email},
                      {"phone", ""},
                      {"app_metadata", Json{{"provider", "email"}, {"providers", {"email"}}}},
                      {"user_metadata", Json::object()},
                      {"role", "authenticated"},
                      {"aal", "aal1"},
                      {"amr", Json::array({Json{{"method", method}, {"timestamp", now}}})},
                      {"session_id", grant.sessionID},
                      {"is_anonymous", false}};
    return HttpReply::json(200, Json{{"access_token", signer_.sign(claims)},
                                     {"token_type", "bearer"},
                                     {"expires_in", settings_.accessTokenSeconds},
                                     {"expires_at", expiresAt},
                                     {"refresh_token", grant.refreshToken},
                                     {"user", userJson(user)}});
}

std::expected<Caller, HttpReply> GoTrueApi::requireUser(const httplib::Request& request) {
    const auto caller = callers_.fromAccessToken(request);
    if (!caller && caller.error() == CallerError::missingToken) {
        return std::unexpected(
            errors::auth(401, "no_authorization", "This endpoint requires a Bearer token"));
    }
    if (!caller) {
        return std::unexpected(errors::auth(403, "bad_jwt",
                                            "invalid JWT: unable to parse or verify signature, " +
                                                describe(caller.error())));
    }
    if (caller->kind != Caller::Kind::user) {
        return std::unexpected(errors::auth(403, "bad_jwt", "invalid claim: missing sub claim"));
    }
    return *caller;
}

HttpReply GoTrueApi::logout(const httplib::Request& request) {
    const auto caller = requireUser(request);
    if (!caller) {
        return caller.error();
    }
    const std::string scope =
        request.has_param("scope") ? request.get_param_value("scope") : "global";
    if (scope == "global") {
        sessions_.end(caller->sessionID, caller->userID, LogoutScope::global);
    } else if (scope == "local") {
        sessions_.end(caller->sessionID, caller->userID, LogoutScope::local);
    } else if (scope == "others") {
        sessions_.end(caller->sessionID, caller->userID, LogoutScope::others);
    } else {
        return errors::auth(400, "validation_failed", "Unsupported logout scope \"" + scope + "\"");
    }
    return HttpReply::empty(204);
}

HttpReply GoTrueApi::currentUser(const httplib::Request& request) {
    const auto caller = requireUser(request);
    if (!caller) {
        return caller.error();
    }
    const auto user = users_.findByID(caller->userID);
    if (!user) {
        return errors::auth(404, "user_not_found", "User from sub claim in JWT does not exist");
    }
    return HttpReply::json(200, userJson(*user));
}

} // namespace devbackend
