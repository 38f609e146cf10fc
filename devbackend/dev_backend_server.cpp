#include "dev_backend_server.hpp"

#include "connection_dropper.hpp"
#include "dev_request_guard.hpp"
#include "schema.hpp"

#include <sys/socket.h>

#include <cstdio>

namespace devbackend {

namespace {

// Each open connection holds a worker while it is kept alive, and delayed calls hold theirs.
constexpr std::size_t workerThreads = 64;
// Bodies up to this much over the limit are read and refused with a proper reply; beyond it the
// HTTP layer refuses them before reading.
constexpr std::size_t bodySlack = 1024 * 1024;

bool isDevelopmentPath(std::string_view path) {
    return path == "/__dev" || path.starts_with("/__dev/");
}

std::string reasonPhrase(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Request failed (HTTP " + std::to_string(status) + ")";
    }
}

std::string hostForURL(const std::string& address) {
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

} // namespace

DevBackendServer::DevBackendServer(ServerSettings settings)
    : settings_(std::move(settings)), database_(settings_.database),
      signer_(schema::prepare(database_)), users_(database_), sessions_(database_),
      devices_(database_), apps_(database_), people_(database_), entries_(database_),
      objects_(database_), requestLog_(database_),
      callers_(signer_, devices_, settings_.anonymousKey), postgrest_(devices_, apps_, callers_),
      functions_(entries_, apps_, people_, objects_, callers_), storage_(objects_, callers_),
      development_(
          DevApi::Stores{users_, entries_, devices_, apps_, people_, requestLog_, faults_}) {
    configureListener();
}

void DevBackendServer::configureListener() {
    listener_.new_task_queue = [] {
        return new httplib::ThreadPool(workerThreads);
    };
    listener_.set_tcp_nodelay(true);
    // Only SO_REUSEADDR: with SO_REUSEPORT a second server would share the port silently.
    listener_.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    listener_.set_keep_alive_max_count(1000);
    listener_.set_keep_alive_timeout(10);
    listener_.set_payload_max_length(settings_.maxBodyBytes + bodySlack);

    const httplib::Server::Handler handler = [this](const httplib::Request& request,
                                                    httplib::Response& response) {
        serve(request, response);
    };
    listener_.Get(".*", handler);
    listener_.Post(".*", handler);
    listener_.Put(".*", handler);
    listener_.Patch(".*", handler);
    listener_.Delete(".*", handler);
    listener_.Options(".*", handler);

    // Failures of the HTTP layer itself (an unreadable request line, oversized headers or
    // body) get a JSON body too, and end the connection, whose framing can no longer be
    // trusted. Replies of our own always carry a content type.
    const httplib::Server::HandlerWithResponse errorHandler = [](const httplib::Request&,
                                                                 httplib::Response& response) {
        if (!response.body.empty() || response.has_header("Content-Type")) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        errors::gateway(response.status, reasonPhrase(response.status)).writeTo(response);
        response.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    };
    listener_.set_error_handler(errorHandler);
    listener_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            errors::gateway(500, "Internal Server Error").writeTo(response);
        });
}

std::expected<int, std::string> DevBackendServer::bind() {
    const std::string& host = settings_.listenAddress;
    if (settings_.port == 0) {
        port_ = listener_.bind_to_any_port(host);
    } else {
        port_ = listener_.bind_to_port(host, settings_.port) ? settings_.port : -1;
    }
    if (port_ <= 0) {
        return std::unexpected("cannot listen on " + hostForURL(host) + ":" +
                               std::to_string(settings_.port) +
                               " (is the address valid and the port free?)");
    }
    goTrue_ = std::make_unique<GoTrueApi>(
        users_, sessions_, signer_, callers_,
        GoTrueApi::Settings{settings_.accessTokenSeconds, baseURL() + "/auth/v1"});
    return port_;
}

std::string DevBackendServer::baseURL() const {
    return "http://" + hostForURL(settings_.listenAddress) + ":" + std::to_string(port_);
}

bool DevBackendServer::run() {
    return listener_.listen_after_bind();
}

void DevBackendServer::stop() {
    {
        const std::lock_guard lock(pauseMutex_);
        stopping_ = true;
    }
    pauseEnded_.notify_all();
    listener_.stop();
    connection_dropper::dropAll(port_);
}

void DevBackendServer::pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(pauseMutex_);
    pauseEnded_.wait_for(lock, delay, [this] { return stopping_.load(); });
}

HttpReply DevBackendServer::routeSafely(const httplib::Request& request) {
    try {
        return route(request);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarvo-devbackend: %s %s failed: %s\n", request.method.c_str(),
                     request.path.c_str(), error.what());
        return errors::gateway(500, "Internal Server Error");
    }
}

void DevBackendServer::serve(const httplib::Request& request, httplib::Response& response) {
    const HttpReply reply =
        isDevelopmentPath(request.path) ? answerDevelopment(request) : answer(request);
    if (settings_.logRequests) {
        std::fprintf(stderr, "%s %s %d\n", request.method.c_str(), request.path.c_str(),
                     reply.status);
    }
    reply.writeTo(response);
}

HttpReply DevBackendServer::answerDevelopment(const httplib::Request& request) {
    if (auto refused = dev_request_guard::refusal(request)) {
        return std::move(*refused);
    }
    return development_.handle(request);
}

HttpReply DevBackendServer::answer(const httplib::Request& request) {
    HttpReply reply;
    bool dropped = false;
    const auto before = faults_.take(request.method, request.path, FaultPhase::beforeHandling);
    if (before) {
        pause(before->delay);
        dropped = before->drop;
    }
    if (!dropped) {
        reply = before && before->reply ? *before->reply : routeSafely(request);
        if (const auto after =
                faults_.take(request.method, request.path, FaultPhase::afterHandling)) {
            pause(after->delay);
            dropped = after->drop;
            if (after->reply) {
                reply = *after->reply;
            }
        }
    }
    // A dropped request is logged before its connection closes: a client that retries at once
    // must find its retry after it in the log.
    if (dropped &&
        connection_dropper::drop(request, [&] { requestLog_.record(request, 0, "dropped"); })) {
        return reply;
    }
    if (dropped) {
        reply = errors::gateway(500, "the injected fault could not drop the connection");
    }
    requestLog_.record(request, reply.status, "replied");
    return reply;
}

HttpReply DevBackendServer::route(const httplib::Request& request) {
    const std::string apiKey = request.has_header("apikey") ? request.get_header_value("apikey")
                                                            : request.get_param_value("apikey");
    if (apiKey.empty()) {
        return errors::gateway(401, "No API key found in request");
    }
    if (apiKey != settings_.anonymousKey) {
        return errors::gateway(401, "Invalid API key");
    }
    if (request.body.size() > settings_.maxBodyBytes) {
        return errors::gateway(413, "Payload too large");
    }
    const std::string& path = request.path;
    if (path.starts_with("/auth/v1/")) {
        return goTrue_->handle(request);
    }
    if (path.starts_with("/rest/v1/")) {
        return postgrest_.handle(request);
    }
    if (path.starts_with("/functions/v1/")) {
        return functions_.handle(request);
    }
    if (path.starts_with("/storage/v1/")) {
        return storage_.handle(request);
    }
    return errors::gateway(404, "no route for this path");
}

} // namespace devbackend
