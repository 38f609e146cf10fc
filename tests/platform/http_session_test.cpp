#include <capturekit/platform/http_session.hpp>

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace capturekit;
using namespace std::chrono_literals;

namespace {

// A loopback server on a free port, running on its own thread for the life of the fixture.
class LoopbackServer {
public:
    LoopbackServer() {
        server.set_tcp_nodelay(true);
        server.Post("/echo", [this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.status = 201;
            res.set_header("X-Reply", "yes");
            res.set_content(req.get_header_value("Authorization") + "|" + req.body, "text/plain");
        });
        // A reply just over the limit, announced or streamed without a length.
        server.Get("/huge", [](const httplib::Request& req, httplib::Response& res) {
            const std::size_t size = HttpSession::maxReplyBytes + 1024 * 1024;
            if (!req.has_param("chunked")) {
                return res.set_content(std::string(size, 'x'), "text/plain");
            }
            res.set_chunked_content_provider("text/plain", [size](std::size_t offset, auto& sink) {
                const std::string chunk(64 * 1024, 'x');
                if (offset >= size || !sink.write(chunk.data(), chunk.size())) {
                    sink.done();
                }
                return true;
            });
        });
        server.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            std::this_thread::sleep_for(1500ms);
            res.set_content("late", "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ~LoopbackServer() {
        server.stop();
        thread.join();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    // The client port of each request the server answered, in order.
    std::vector<int> requestPorts() {
        std::lock_guard lock(mutex);
        return ports;
    }

    int port = 0;

private:
    void record(const httplib::Request& req) {
        std::lock_guard lock(mutex);
        ports.push_back(req.remote_port);
    }
    httplib::Server server;
    std::thread thread;
    std::mutex mutex;
    std::vector<int> ports;
};

HttpRequest post(const std::string& url, std::string body) {
    return HttpRequest{"POST",
                       url,
                       {{"Content-Type", "application/json"}, {"Authorization", "Bearer t"}},
                       std::move(body),
                       5s};
}

// Performs a request that must fail with `kind` and a description that mentions `detail`.
void expectFailure(const HttpRequest& request, HttpError::Kind kind, std::string_view detail = "",
                   std::stop_token stop = {}) {
    const auto reply = HttpSession().perform(request, stop);
    ASSERT_FALSE(reply) << request.url;
    EXPECT_EQ(reply.error().kind, kind) << request.url;
    EXPECT_NE(reply.error().description.find(detail), std::string::npos)
        << reply.error().description;
}

} // namespace

TEST(HttpSession, PostsAndReadsStatusBodyAndHeadersOverOneReusedConnection) {
    LoopbackServer server;
    HttpSession session;
    for (int i = 0; i < 3; ++i) {
        const auto reply =
            session.perform(post(server.url("/echo"), "{\"n\":" + std::to_string(i) + "}"));
        ASSERT_TRUE(reply) << reply.error().description;
        EXPECT_EQ(reply->statusCode, 201);
        EXPECT_EQ(reply->body, "Bearer t|{\"n\":" + std::to_string(i) + "}");
        ASSERT_NE(reply->header("x-REPLY"), nullptr);
        EXPECT_EQ(*reply->header("X-Reply"), "yes");
    }
    const auto ports = server.requestPorts();
    EXPECT_EQ(std::set<int>(ports.begin(), ports.end()).size(), 1u) << "a connection per request";
}

TEST(HttpSession, FailuresCarryTheTransportsDetailAndASplitHeaderSendsNothing) {
    using enum HttpError::Kind;
    std::string closedPort;
    {
        LoopbackServer gone; // bind a port, then release it so nothing listens there
        closedPort = std::to_string(gone.port);
    }
    expectFailure(post("http://127.0.0.1:" + closedPort + "/x", "{}"), transport, closedPort);
    expectFailure({"GET", "ftp://example.invalid/x", {}, {}, 1s}, invalidRequest);

    LoopbackServer server;
    for (const std::string& bad :
         std::vector<std::string>{"a\r\nX-Injected: 1", "a\nb", std::string("a\0b", 3)}) {
        HttpRequest request = post(server.url("/echo"), "{}");
        request.headers.emplace_back("Idempotency-Key", bad);
        expectFailure(request, invalidRequest);
    }
    EXPECT_TRUE(server.requestPorts().empty());
    expectFailure({"GET", server.url("/slow"), {}, {}, 200ms}, transport, "timed out");
    for (const char* huge : {"/huge", "/huge?chunked=1"}) {
        expectFailure({"GET", server.url(huge), {}, {}, 5s}, transport, "Reply too large");
    }
}

TEST(HttpSession, AStopTokenEndsARequestInFlightAndPreventsNewOnes) {
    LoopbackServer server;
    std::stop_source source;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(100ms);
        source.request_stop();
    });
    const HttpRequest slow{"GET", server.url("/slow"), {}, {}, 10s};
    expectFailure(slow, HttpError::Kind::cancelled, "", source.get_token());
    const std::size_t before = server.requestPorts().size();
    expectFailure(post(server.url("/echo"), "{}"), HttpError::Kind::cancelled, "",
                  source.get_token());
    EXPECT_EQ(server.requestPorts().size(), before);
}
