#pragma once

// The server: the HTTP listener and the path every request takes through it. A request to the
// backend contract is logged, may meet an injected fault, has its "apikey" checked and its size
// limited, and is answered by the service its path belongs to. /__dev/ requests skip all that
// and are answered only to loopback callers.

#include "app_settings.hpp"
#include "caller.hpp"
#include "database.hpp"
#include "dev_api.hpp"
#include "device_registry.hpp"
#include "entry_store.hpp"
#include "fault_injector.hpp"
#include "functions_api.hpp"
#include "gotrue_api.hpp"
#include "jwt.hpp"
#include "known_people.hpp"
#include "object_store.hpp"
#include "postgrest_api.hpp"
#include "request_log.hpp"
#include "session_store.hpp"
#include "storage_api.hpp"
#include "user_directory.hpp"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace devbackend {

struct ServerSettings {
    std::string listenAddress = "127.0.0.1";
    int port = 54321; // 0 picks a free port
    std::filesystem::path database;
    int accessTokenSeconds = 3600;
    std::size_t maxBodyBytes = 20 * 1024 * 1024;
    std::string anonymousKey;
    bool logRequests = false;
};

class DevBackendServer {
public:
    // Opens the database; throws DatabaseError when it cannot.
    explicit DevBackendServer(ServerSettings settings);

    // Starts listening; the port bound, or why it could not.
    std::expected<int, std::string> bind();
    // "http://127.0.0.1:54321"
    std::string baseURL() const;
    // Serves until `stop`.
    bool run();
    // Safe from any thread: ends delays, stops listening and closes idle connections.
    void stop();

    UserDirectory& users() { return users_; }

private:
    void configureListener();
    void serve(const httplib::Request& request, httplib::Response& response);
    HttpReply answer(const httplib::Request& request);
    HttpReply route(const httplib::Request& request);
    // `route`, with a storage fault answered as a 500.
    HttpReply routeSafely(const httplib::Request& request);
    HttpReply answerDevelopment(const httplib::Request& request);
    // Waits, ending early when the server stops.
    void pause(std::chrono::milliseconds delay);

    ServerSettings settings_;
    Database database_;
    JwtSigner signer_;
    UserDirectory users_;
    SessionStore sessions_;
    DeviceRegistry devices_;
    AppSettings apps_;
    KnownPeople people_;
    EntryStore entries_;
    ObjectStore objects_;
    RequestLog requestLog_;
    FaultInjector faults_;
    CallerResolver callers_;
    std::unique_ptr<GoTrueApi> goTrue_;
    PostgrestApi postgrest_;
    FunctionsApi functions_;
    StorageApi storage_;
    DevApi development_;

    httplib::Server listener_;
    int port_ = 0;
    std::atomic<bool> stopping_ = false;
    std::mutex pauseMutex_;
    std::condition_variable pauseEnded_;
};

} // namespace devbackend
