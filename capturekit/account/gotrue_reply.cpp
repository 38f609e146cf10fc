#include <capturekit/account/gotrue_reply.hpp>

#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

#include <array>
#include <cmath>

namespace capturekit {

namespace {

constexpr std::chrono::seconds defaultLifetime{3600};

// A member that may be missing or null; `ok` is false when it is present with another type.
struct OptionalString {
    std::optional<std::string> value;
    bool ok = true;
};

OptionalString optionalString(const Json& object, std::string_view key) {
    const Json* member = json::member(object, key);
    if (member == nullptr || member->is_null()) {
        return {};
    }
    if (!member->is_string()) {
        return {std::nullopt, false};
    }
    return {member->get<std::string>(), true};
}

std::optional<GoTrueToken::User> decodeUser(const Json& user, bool& ok) {
    if (user.is_null()) {
        return std::nullopt;
    }
    auto id = json::string(user, "id");
    const OptionalString email = optionalString(user, "email");
    if (!user.is_object() || !id || !email.ok) {
        ok = false;
        return std::nullopt;
    }
    return GoTrueToken::User{std::move(*id), email.value};
}

bool isRejectedCredential(const std::optional<GoTrueFailure>& failure) {
    if (!failure) {
        return true;
    }
    const std::string code =
        text::lowercased(failure->errorCode.value_or(failure->error.value_or("")));
    static constexpr std::array<std::string_view, 4> markers = {
        "invalid_grant", "invalid_credentials", "bad_jwt", "refresh_token"};
    for (const std::string_view marker : markers) {
        if (code.find(marker) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string failureMessage(const std::optional<GoTrueFailure>& failure, int status) {
    if (failure) {
        for (const auto* candidate :
             {&failure->errorDescription, &failure->msg, &failure->message, &failure->error}) {
            if (*candidate) {
                return **candidate;
            }
        }
    }
    return "Sign-in failed (HTTP " + std::to_string(status) + ").";
}

Date expiryOf(const GoTrueToken& token, Date requestedAt) {
    if (token.expiresAt) {
        if (const auto date = dates::fromSecondsSince1970(*token.expiresAt)) {
            return *date;
        }
    }
    if (token.expiresIn) {
        return requestedAt + std::chrono::seconds(*token.expiresIn);
    }
    return requestedAt + defaultLifetime;
}

} // namespace

std::optional<GoTrueToken> GoTrueToken::decode(std::string_view body) {
    const auto object = json::parse(body);
    if (!object || !object->is_object()) {
        return std::nullopt;
    }
    GoTrueToken token;
    auto accessToken = json::string(*object, "access_token");
    auto refreshToken = json::string(*object, "refresh_token");
    if (!accessToken || !refreshToken) {
        return std::nullopt;
    }
    token.accessToken = std::move(*accessToken);
    token.refreshToken = std::move(*refreshToken);
    bool ok = true;
    if (const Json* expiresIn = json::member(*object, "expires_in");
        expiresIn != nullptr && !expiresIn->is_null()) {
        token.expiresIn = json::integer(*object, "expires_in");
        ok = ok && token.expiresIn.has_value() &&
             std::llabs(*token.expiresIn) < 10LL * 365 * 24 * 3600 * 1000;
    }
    if (const Json* expiresAt = json::member(*object, "expires_at");
        expiresAt != nullptr && !expiresAt->is_null()) {
        token.expiresAt = json::number(*object, "expires_at");
        ok = ok && token.expiresAt.has_value();
    }
    if (const Json* user = json::member(*object, "user")) {
        token.user = decodeUser(*user, ok);
    }
    if (!ok) {
        return std::nullopt;
    }
    return token;
}

std::optional<GoTrueFailure> GoTrueFailure::decode(std::string_view body) {
    const auto object = json::parse(body);
    if (!object || !object->is_object()) {
        return std::nullopt;
    }
    const OptionalString fields[] = {
        optionalString(*object, "error"), optionalString(*object, "error_description"),
        optionalString(*object, "error_code"), optionalString(*object, "msg"),
        optionalString(*object, "message")};
    for (const OptionalString& field : fields) {
        if (!field.ok) {
            return std::nullopt;
        }
    }
    return GoTrueFailure{fields[0].value, fields[1].value, fields[2].value, fields[3].value,
                         fields[4].value};
}

std::expected<UserSession, AuthError>
readTokenReply(const std::expected<HttpResponse, HttpError>& reply, Date requestedAt) {
    if (!reply) {
        return std::unexpected(AuthError::network(reply.error().description));
    }
    const int status = reply->statusCode;
    if (status >= 200 && status < 300) {
        const auto token = GoTrueToken::decode(reply->body);
        if (!token || !token->user) {
            return std::unexpected(AuthError::malformedResponse());
        }
        return UserSession{token->accessToken, token->refreshToken, expiryOf(*token, requestedAt),
                           token->user->id, token->user->email};
    }
    const auto failure = GoTrueFailure::decode(reply->body);
    std::string message = failureMessage(failure, status);
    if ((status == 400 || status == 401) && isRejectedCredential(failure)) {
        return std::unexpected(AuthError::invalidCredentials(std::move(message)));
    }
    return std::unexpected(AuthError::server(status, std::move(message)));
}

} // namespace capturekit
