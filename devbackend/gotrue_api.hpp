#pragma once

// The authentication service under /auth/v1/: password and refresh-token grants, logout, and the
// signed-in user.

#include "caller.hpp"
#include "http_reply.hpp"
#include "session_store.hpp"
#include "user_directory.hpp"

#include <string>

namespace httplib {
struct Request;
}

namespace devbackend {

class GoTrueApi {
public:
    struct Settings {
        int accessTokenSeconds = 3600;
        std::string issuer;
    };

    GoTrueApi(UserDirectory& users, SessionStore& sessions, const JwtSigner& signer,
              const CallerResolver& callers, Settings settings)
        : users_(users), sessions_(sessions), signer_(signer), callers_(callers),
          settings_(std::move(settings)) {}

    HttpReply handle(const httplib::Request& request);

private:
    HttpReply token(const httplib::Request& request);
    HttpReply passwordGrant(const capturekit::Json& body);
    HttpReply refreshGrant(const capturekit::Json& body);
    HttpReply logout(const httplib::Request& request);
    HttpReply currentUser(const httplib::Request& request);
    // The user behind the request's access token, or the reply refusing it.
    std::expected<Caller, HttpReply> requireUser(const httplib::Request& request);
    HttpReply session(const User& user, const SessionGrant& grant, std::string_view method);

    UserDirectory& users_;
    SessionStore& sessions_;
    const JwtSigner& signer_;
    const CallerResolver& callers_;
    Settings settings_;
};

} // namespace devbackend
