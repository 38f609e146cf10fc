#include "support/backend_client.hpp"

#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/crypto.hpp>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

namespace tarvo::test {

using capturekit::Json;

namespace {

// Whether the text holds a reply's head and as much body as its Content-Length announces.
bool holdsWholeReply(const std::string& received) {
    const std::size_t end = received.find("\r\n\r\n");
    if (end == std::string::npos) {
        return false;
    }
    const std::string head = received.substr(0, end);
    const std::size_t length = head.find("Content-Length: ");
    const std::size_t expected =
        length == std::string::npos ? 0 : std::stoul(head.substr(length + 16));
    return received.size() - end - 4 >= expected;
}

} // namespace

Json Reply::json() const {
    return capturekit::json::parse(body).value_or(Json());
}

std::string Reply::header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

BackendClient::BackendClient(const DevBackendProcess& backend)
    : port_(backend.port()), client_(backend.baseURL()) {
    client_.set_connection_timeout(std::chrono::seconds(5));
    client_.set_read_timeout(std::chrono::seconds(15));
}

void BackendClient::setTimeout(std::chrono::milliseconds timeout) {
    client_.set_read_timeout(timeout);
}

Reply BackendClient::send(const std::string& method, const std::string& path,
                          const std::string& body, httplib::Headers headers, bool withKey) {
    if (withKey && headers.find("apikey") == headers.end()) {
        headers.emplace("apikey", DevBackendProcess::anonymousKey());
    }
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.headers = std::move(headers);
    request.body = body;
    if (!body.empty() && !request.has_header("Content-Type")) {
        request.set_header("Content-Type", "application/json");
    }
    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    if (!client_.send(request, response, error)) {
        return Reply{};
    }
    return Reply{response.status, response.body, response.headers};
}

Reply BackendClient::post(const std::string& path, const Json& body, httplib::Headers headers) {
    return send("POST", path, capturekit::json::dump(body), std::move(headers));
}

Reply BackendClient::postWithBearer(const std::string& path, const std::string& token,
                                    const Json& body, httplib::Headers headers) {
    headers.merge(bearer(token));
    return post(path, body, std::move(headers));
}

Json BackendClient::addUser(const std::string& email, const std::string& password) {
    const Reply reply =
        send("POST", "/__dev/users",
             capturekit::json::dump(Json{{"email", email}, {"password", password}}));
    if (reply.status != 201) {
        throw std::runtime_error("adding a user failed: " + reply.body);
    }
    return reply.json();
}

Json BackendClient::entries(const std::string& user) {
    return send("GET", "/__dev/users/" + user + "/entries").json();
}

Json BackendClient::requests(const std::string& pathPrefix) {
    return send("GET", "/__dev/requests?limit=1000&path=" + pathPrefix).json();
}

void BackendClient::addFault(const Json& fault) {
    const Reply reply = send("POST", "/__dev/faults", capturekit::json::dump(fault));
    if (reply.status != 201) {
        throw std::runtime_error("adding a fault failed: " + reply.body);
    }
}

Session BackendClient::signIn(const std::string& email, const std::string& password) {
    const Reply reply =
        post("/auth/v1/token?grant_type=password", Json{{"email", email}, {"password", password}});
    if (reply.status != 200) {
        throw std::runtime_error("sign-in failed: " + reply.body);
    }
    const Json body = reply.json();
    return Session{body["access_token"], body["refresh_token"], body["user"]["id"],
                   body["user"]["email"]};
}

Reply BackendClient::refresh(const std::string& refreshToken) {
    return post("/auth/v1/token?grant_type=refresh_token", Json{{"refresh_token", refreshToken}});
}

std::string BackendClient::registerDevice(const Session& session) {
    const std::string token = newDeviceToken();
    const Reply reply = postWithBearer("/rest/v1/ingest_devices", session.accessToken,
                                       Json{{"user_id", session.userID},
                                            {"name", "test machine"},
                                            {"source", "linux"},
                                            {"token_hash", capturekit::crypto::sha256Hex(token)}},
                                       {{"Prefer", "return=minimal"}});
    if (reply.status != 201) {
        throw std::runtime_error("device registration failed: " + reply.body);
    }
    return token;
}

Account BackendClient::newAccount() {
    const std::string email = uniqueEmail();
    addUser(email, "correct horse");
    Session session = signIn(email, "correct horse");
    std::string token = registerDevice(session);
    return Account{std::move(session), std::move(token)};
}

Reply BackendClient::ingest(const std::string& deviceToken, const Json& body,
                            const std::optional<std::string>& idempotencyKey) {
    httplib::Headers headers;
    if (idempotencyKey) {
        headers.emplace("Idempotency-Key", *idempotencyKey);
    }
    return postWithBearer("/functions/v1/capture-ingest", deviceToken, body, std::move(headers));
}

std::string BackendClient::raw(const std::string& bytes, std::chrono::milliseconds timeout) {
    const int connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(connection);
        throw std::runtime_error("cannot connect to the dev backend");
    }
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count =
            ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(count);
    }
    std::string received;
    pollfd readable{connection, POLLIN, 0};
    while (!holdsWholeReply(received) &&
           poll(&readable, 1, static_cast<int>(timeout.count())) > 0) {
        char buffer[4096];
        const ssize_t count = recv(connection, buffer, sizeof(buffer), 0);
        if (count <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(count));
    }
    close(connection);
    return received;
}

std::string BackendClient::uniqueEmail() {
    static std::atomic<int> counter = 0;
    return "person" + std::to_string(getpid()) + "." + std::to_string(++counter) + "@example.test";
}

std::string BackendClient::newDeviceToken() {
    const auto bytes = capturekit::crypto::secureRandomBytes(32);
    return "vlt_" + capturekit::base64::encodeURLUnpadded(std::string_view(
                        reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Json captureBody(const std::string& content, const Json& members) {
    Json body{{"content", content}, {"tags", Json::array()}};
    body.update(members);
    return body;
}

Json jwtClaims(const std::string& token) {
    const std::size_t first = token.find('.');
    const std::size_t second = token.find('.', first + 1);
    const auto payload = capturekit::base64::decodeURL(token.substr(first + 1, second - first - 1));
    return capturekit::json::parse(payload.value_or("")).value_or(Json());
}

} // namespace tarvo::test
