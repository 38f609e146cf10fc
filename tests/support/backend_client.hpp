#pragma once

// A small HTTP client for the dev backend's tests: the calls the tests make over and over
// (users, sign-in, device registration, ingest) and raw exchanges for malformed requests.

#include "support/dev_backend_process.hpp"

#include <capturekit/platform/json.hpp>

#include <httplib.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::test {

struct Reply {
    int status = 0; // 0: no HTTP reply at all
    std::string body;
    httplib::Headers headers;

    capturekit::Json json() const;
    std::string header(const std::string& name) const;
};

inline httplib::Headers bearer(const std::string& token) {
    return {{"Authorization", "Bearer " + token}};
}

struct Session {
    std::string accessToken;
    std::string refreshToken;
    std::string userID;
    std::string email;
};

// A user signed in with a registered device token.
struct Account {
    Session session;
    std::string deviceToken;
};

class BackendClient {
public:
    explicit BackendClient(const DevBackendProcess& backend);

    // Every request carries the anonymous key as "apikey" unless `headers` set another one or
    // `withKey` is false.
    Reply send(const std::string& method, const std::string& path, const std::string& body = {},
               httplib::Headers headers = {}, bool withKey = true);
    Reply post(const std::string& path, const capturekit::Json& body,
               httplib::Headers headers = {});
    Reply postWithBearer(const std::string& path, const std::string& token,
                         const capturekit::Json& body, httplib::Headers headers = {});

    void setTimeout(std::chrono::milliseconds timeout);

    // Development endpoints.
    capturekit::Json addUser(const std::string& email, const std::string& password);
    capturekit::Json entries(const std::string& user);
    capturekit::Json requests(const std::string& pathPrefix);
    void addFault(const capturekit::Json& fault);

    Session signIn(const std::string& email, const std::string& password);
    Reply refresh(const std::string& refreshToken);
    // Registers a new device token for the session's user.
    std::string registerDevice(const Session& session);
    // A fresh user with a registered device.
    Account newAccount();
    Reply ingest(const std::string& deviceToken, const capturekit::Json& body,
                 const std::optional<std::string>& idempotencyKey = std::nullopt);

    // Sends the bytes on a new connection and returns everything read until the server closes
    // it or stays silent for the timeout.
    std::string raw(const std::string& bytes,
                    std::chrono::milliseconds timeout = std::chrono::seconds(2));

    static std::string uniqueEmail();
    static std::string newDeviceToken();

private:
    int port_;
    httplib::Client client_;
};

// An ingest body of the content, with the given members added.
capturekit::Json captureBody(const std::string& content,
                             const capturekit::Json& members = capturekit::Json::object());

// The claims of a JWT, read without checking its signature.
capturekit::Json jwtClaims(const std::string& token);

} // namespace tarvo::test
