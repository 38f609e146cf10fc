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
                res.set_content(std::string(size, 'x'), "text/plain");
                return;
            }
            res.set_chunked_content_provider(
                "text/plain", [size](std::size_t offset, httplib::DataSink& sink) {
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
    std::size_t requestCount() {
        std::lock_guard lock(mutex);
        return count;
    }
    int boundPort() const { return port; }
    std::set<int> ports() {
        std::lock_guard lock(mutex);
        return remotePorts;
    }

private:
    void record(const httplib::Request& req) {
        std::lock_guard lock(mutex);
        ++count;
        remotePorts.insert(req.remote_port);
    }
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::mutex mutex;
    std::size_t count = 0;
    std::set<int> remotePorts;
};

HttpRequest post(const std::string& url, std::string body) {
    return HttpRequest{"POST",
                       url,
                       {{"Content-Type", "application/json"}, {"Authorization", "Bearer t"}},
                       std::move(body),
                       5s};
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
    EXPECT_EQ(server.ports().size(), 1u) << "each request opened a new connection";
}

TEST(HttpSession, RefusesHeaderValuesThatWouldSplitTheHeaderAndSendsNothing) {
    LoopbackServer server;
    HttpSession session;
    for (const std::string& bad :
         std::vector<std::string>{"a\r\nX-Injected: 1", "a\nb", std::string("a\0b", 3)}) {
        HttpRequest request = post(server.url("/echo"), "{}");
        request.headers.emplace_back("Idempotency-Key", bad);
        const auto reply = session.perform(request);
        ASSERT_FALSE(reply);
        EXPECT_EQ(reply.error().kind, HttpError::Kind::invalidRequest);
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(HttpSession, TransportFailuresCarryTheTransportsOwnDetail) {
    int closedPort = 0;
    {
        LoopbackServer gone; // bind a port, then release it so nothing listens there
        closedPort = gone.boundPort();
    }
    HttpSession session;
    const auto refused =
        session.perform(post("http://127.0.0.1:" + std::to_string(closedPort) + "/x", "{}"));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, HttpError::Kind::transport);
    EXPECT_NE(refused.error().description.find(std::to_string(closedPort)), std::string::npos)
        << refused.error().description;

    LoopbackServer server;
    HttpRequest slow{"GET", server.url("/slow"), {}, {}, 200ms};
    const auto timedOut = session.perform(slow);
    ASSERT_FALSE(timedOut);
    EXPECT_EQ(timedOut.error().kind, HttpError::Kind::transport);
    EXPECT_NE(timedOut.error().description.find("timed out"), std::string::npos)
        << timedOut.error().description;

    for (const char* huge : {"/huge", "/huge?chunked=1"}) {
        const auto tooLarge = session.perform(HttpRequest{"GET", server.url(huge), {}, {}, 5s});
        ASSERT_FALSE(tooLarge) << huge;
        EXPECT_EQ(tooLarge.error().kind, HttpError::Kind::transport);
        EXPECT_TRUE(tooLarge.error().description.starts_with("Reply too large"))
            << tooLarge.error().description;
    }

    const auto malformed =
        session.perform(HttpRequest{"GET", "ftp://example.invalid/x", {}, {}, 1s});
    ASSERT_FALSE(malformed);
    EXPECT_EQ(malformed.error().kind, HttpError::Kind::invalidRequest);
}

TEST(HttpSession, AStopTokenEndsARequestInFlightAndPreventsNewOnes) {
    LoopbackServer server;
    HttpSession session;
    std::stop_source source;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(100ms);
        source.request_stop();
    });
    const auto reply =
        session.perform(HttpRequest{"GET", server.url("/slow"), {}, {}, 10s}, source.get_token());
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().kind, HttpError::Kind::cancelled);

    const std::size_t before = server.requestCount();
    const auto again = session.perform(post(server.url("/echo"), "{}"), source.get_token());
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().kind, HttpError::Kind::cancelled);
    EXPECT_EQ(server.requestCount(), before);
}
