// Bad input of every kind gets a JSON error with the right status, and the server keeps
// serving.

#include "devbackend/shorthands.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <random>

namespace tarvo::test {
namespace {

constexpr const char* contractPaths[] = {
    "/auth/v1/token?grant_type=password",
    "/auth/v1/token?grant_type=refresh_token",
    "/auth/v1/logout",
    "/rest/v1/ingest_devices",
    "/rest/v1/rpc/apps_enabled",
    "/functions/v1/capture-ingest",
    "/functions/v1/capture-suggest",
    "/functions/v1/capture-transcribe",
    "/storage/v1/object/capture-media/x/y.m4a",
};

using RobustnessTest = BackendTest;

// The status and body of a raw HTTP reply; status 0 when there is none.
Reply parseRaw(const std::string& raw) {
    Reply reply;
    if (!raw.starts_with("HTTP/1.1 ") || raw.size() < 12) {
        return reply;
    }
    reply.status = std::stoi(raw.substr(9, 3));
    const std::size_t end = raw.find("\r\n\r\n");
    reply.body = end == std::string::npos ? "" : raw.substr(end + 4);
    return reply;
}

void expectJsonError(const Reply& reply, const std::string& what) {
    EXPECT_GE(reply.status, 400) << what;
    EXPECT_LT(reply.status, 500) << what << ": " << reply.body;
    EXPECT_TRUE(reply.json().is_object()) << what << ": " << reply.body;
}

TEST_F(RobustnessTest, EveryContractCallChecksTheAnonymousKey) {
    for (const char* path : contractPaths) {
        const Reply missing = client.send("POST", path, "{}", {}, false);
        EXPECT_EQ(missing.status, 401) << path;
        EXPECT_EQ(missing.json()["message"], "No API key found in request") << path;
        const Reply wrong = client.send("POST", path, "{}", {{"apikey", "not-the-key"}});
        EXPECT_EQ(wrong.status, 401) << path;
        EXPECT_EQ(wrong.json()["message"], "Invalid API key") << path;
    }
    // The key may also come as a query parameter.
    const Reply queryKey = client.send(
        "POST", "/auth/v1/token?grant_type=password&apikey=" + DevBackendProcess::anonymousKey(),
        R"({"email": "nobody@example.test", "password": "secret"})", {}, false);
    EXPECT_EQ(queryKey.json()["error_code"], "invalid_credentials") << queryKey.body;
    expectJsonError(client.send("GET", "/unknown/path"), "an unknown path");
    expectJsonError(client.send("GET", "/functions/v1/capture-ingest"), "a wrong method");
    expectJsonError(client.send("POST", "/functions/v1/capture-nothing", "{}"),
                    "an unknown function");
}

TEST_F(RobustnessTest, HundredsOfMalformedRequestsLeaveItServing) {
    const Account account = client.newAccount();
    std::mt19937 random(20240601);

    // clang-format off
    const std::vector<std::string> bodies = {
        "", "{", "[[]]", "null", R"("text")", "1e999", "{\"content\": \"\xff\xfe\", \"tags\": []}",
        R"({"content": 5, "tags": {}})", R"({"content": "x", "tags": [1, null]})",
        R"({"email": [], "password": {}})", R"({"refresh_token": 12})", R"({"p_keys": {"a": 1}})",
        R"({"user_id": null, "token_hash": false})",
        std::string(200000, '[') + std::string(200000, ']'), "{\"a\":" + std::string(50000, '{')};
    const std::vector<std::string> bearers = {
        "", "Bearer", "Bearer ", "Bearer a.b", "Bearer a.b.c", "Basic x", "Bearer \x01x",
        "Bearer ....", "Bearer vlt_guess", account.session.accessToken + "x"};
    // clang-format on
    int requests = 0;
    for (const char* path : contractPaths) {
        for (const std::string& body : bodies) {
            httplib::Headers headers;
            const std::string& bearer = bearers[random() % bearers.size()];
            if (!bearer.empty()) {
                headers.emplace("Authorization", bearer);
            }
            expectJsonError(client.send("POST", path, body, headers),
                            std::string(path) + " with " + body.substr(0, 40));
            ++requests;
        }
    }

    const std::string key = DevBackendProcess::anonymousKey();
    // clang-format off
    const std::vector<std::string> raws = {
        "GARBAGE\r\n\r\n", "GET\r\n\r\n", "FROB / HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET / HTTP/9.9\r\nHost: x\r\n\r\n", "GET / HTTP/1.1\r\nNo colon here\r\n\r\n",
        "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET / HTTP/1.1\r\nX-Big: " + std::string(20000, 'b') + "\r\n\r\n",
        "POST /functions/v1/capture-ingest HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        "POST /auth/v1/token HTTP/1.1\r\nContent-Length: abc\r\n\r\n",
        "GET /%zz%00 HTTP/1.1\r\nHost: x\r\n\r\n", std::string("GET /\0\xff HTTP/1.1\r\n\r\n", 21)};
    // clang-format on
    for (int round = 0; round < 12; ++round) {
        for (const std::string& raw : raws) {
            const Reply reply = parseRaw(client.raw(raw));
            // The HTTP layer may also close such a connection without a word.
            if (reply.status != 0) {
                expectJsonError(reply, raw.substr(0, 40));
            }
            ++requests;
        }
    }
    std::string headers;
    for (int i = 0; i < 300; ++i) {
        headers += "X-Header-" + std::to_string(i) + ": " + std::string(100, 'h') + "\r\n";
    }
    for (int round = 0; round < 20; ++round) {
        std::string noise(1 + random() % 300, '\0');
        for (char& c : noise) {
            c = static_cast<char>(random() % 256);
        }
        client.raw(noise, std::chrono::milliseconds(100));
        client.raw("GET /__dev/health HTTP/1.1\r\napikey: " + key + "\r\n" + headers + "\r\n");
        requests += 2;
    }
    EXPECT_GE(requests, 300);

    EXPECT_EQ(client.send("GET", "/__dev/health").status, 200);
    const Reply filed = client.ingest(account.deviceToken, captureBody("still here"));
    EXPECT_EQ(filed.status, 200) << filed.body;
    EXPECT_EQ(backend.stop(), 0) << "the server exits cleanly, so it never crashed";
}

TEST_F(RobustnessTest, DevelopmentEndpointsRefuseWebPagesAndRebindingNames) {
    const std::string port = std::to_string(backend.port());
    const auto health = [&](httplib::Headers headers) {
        return client.send("GET", "/__dev/health", {}, std::move(headers)).status;
    };
    for (const std::string& host :
         std::vector<std::string>{"localhost:" + port, "LocalHost", "[::1]:" + port, "127.0.0.1"}) {
        EXPECT_EQ(health({{"Host", host}}), 200) << host;
    }
    for (const std::string& host :
         std::vector<std::string>{"attacker.example:" + port, "127.0.0.1.attacker.example",
                                  "localhost:" + port + "x", "[::1", ""}) {
        const Reply refused = client.send("GET", "/__dev/requests", {}, {{"Host", host}});
        EXPECT_EQ(refused.status, 403) << host;
        EXPECT_TRUE(refused.json()["error"].is_string()) << host;
    }
    EXPECT_EQ(health({{"Origin", "http://localhost:" + port}}), 200);
    for (const char* origin : {"https://attacker.example", "null", "http://localhost.example"}) {
        EXPECT_EQ(health({{"Origin", origin}}), 403) << origin;
    }

    // A page can post text/plain without asking first; only JSON bodies are taken.
    const auto addUser = [&](const std::string& type) {
        return client.send("POST", "/__dev/users",
                           R"({"email": "page@example.test", "password": "secret1"})",
                           {{"Content-Type", type}});
    };
    for (const char* type :
         {"text/plain", "application/x-www-form-urlencoded", "application/jsonx"}) {
        const Reply refused = addUser(type);
        EXPECT_EQ(refused.status, 415) << type;
        EXPECT_TRUE(refused.json()["error"].is_string()) << type;
    }
    EXPECT_EQ(client.send("DELETE", "/__dev/faults", {}, {{"Content-Type", "text/plain"}}).status,
              204);
    EXPECT_EQ(addUser("Application/JSON; charset=utf-8").status, 201);
}

std::optional<std::string> nonLoopbackAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    for (const ifaddrs* item = list; item != nullptr && !found; item = item->ifa_next) {
        if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
        inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text));
        if (!std::string_view(text).starts_with("127.")) {
            found = text;
        }
    }
    freeifaddrs(list);
    return found;
}

TEST(RemoteCallerTest, DevelopmentEndpointsAnswerOnlyLoopbackCallers) {
    const auto address = nonLoopbackAddress();
    if (!address) {
        GTEST_SKIP() << "this machine has no non-loopback IPv4 address";
    }
    DevBackendProcess backend({"--listen", "0.0.0.0"});
    httplib::Client remote("http://" + *address + ":" + std::to_string(backend.port()));
    const auto health = remote.Get("/__dev/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 403);
    const auto contract =
        remote.Post("/functions/v1/capture-suggest",
                    {{"apikey", DevBackendProcess::anonymousKey()}}, "{}", "application/json");
    ASSERT_TRUE(contract);
    EXPECT_EQ(contract->status, 401) << "the backend contract is served to everyone";
    // Its base URL names 0.0.0.0; a loopback caller names the server as a loopback host.
    BackendClient local(backend);
    const std::string loopbackHost = "127.0.0.1:" + std::to_string(backend.port());
    EXPECT_EQ(local.send("GET", "/__dev/health", {}, {{"Host", loopbackHost}}).status, 200);
}

} // namespace
} // namespace tarvo::test
