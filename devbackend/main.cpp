// tarvo-devbackend: a local stand-in for the backend project, for tests and for running the app
// without an account.

#include "dev_backend_server.hpp"
#include "options.hpp"

#include <capturekit/platform/paths.hpp>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <span>
#include <thread>

namespace {

constexpr const char* demoEmail = "demo@tarvo.test";
constexpr const char* demoPassword = "tarvo-demo";

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "tarvo-devbackend: %s\n", message.c_str());
    return status;
}

void addDemoUser(devbackend::UserDirectory& users) {
    const auto added = users.add(demoEmail, demoPassword);
    if (!added && added.error() != devbackend::AddUserError::alreadyExists) {
        std::fprintf(stderr, "tarvo-devbackend: demo user: %s\n",
                     devbackend::describe(added.error()).c_str());
        return;
    }
    std::printf("demo user: %s, password: %s\n", demoEmail, demoPassword);
}

} // namespace

int main(int argc, char** argv) {
    // SIGINT and SIGTERM are taken by one waiting thread; every other thread, the HTTP workers
    // included, inherits this mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const auto options = devbackend::parseOptions(std::span<const char* const>(argv + 1, argc - 1));
    if (!options) {
        return fail(options.error(), 2);
    }
    if (options->help) {
        std::fputs(devbackend::usage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::puts("tarvo-devbackend " TARVO_VERSION);
        return 0;
    }
    const devbackend::ServerSettings settings{
        .listenAddress = options->listenAddress,
        .port = options->port,
        .database =
            options->database.empty() ? devbackend::defaultDatabasePath() : options->database,
        .accessTokenSeconds = options->accessTokenSeconds,
        .maxBodyBytes = options->maxBodyBytes,
        .anonymousKey =
            options->anonymousKey.empty() ? TARVO_DEVBACKEND_ANON_KEY : options->anonymousKey,
        .logRequests = options->verbose};

    if (options->database.empty()) {
        // The default folder is the server's own, so it is kept private even when it exists.
        capturekit::paths::claimPrivateDirectory(settings.database.parent_path());
    }

    std::unique_ptr<devbackend::DevBackendServer> server;
    try {
        server = std::make_unique<devbackend::DevBackendServer>(settings);
        if (options->demo) {
            addDemoUser(server->users());
        }
    } catch (const devbackend::DatabaseError& error) {
        return fail(error.what(), 1);
    }
    const auto port = server->bind();
    if (!port) {
        return fail(port.error(), 1);
    }
    std::printf("environment: %s, database: %s\n", TARVO_DEVBACKEND_ENVIRONMENT,
                settings.database.c_str());
    std::printf("listening on %s\n", server->baseURL().c_str());
    std::fflush(stdout);

    std::atomic<bool> finished = false;
    std::thread signalWaiter([&] {
        int received = 0;
        sigwait(&stopSignals, &received);
        // A signal that comes before the listener runs would be lost on it; repeat until it
        // takes.
        while (!finished) {
            server->stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const bool served = server->run();
    finished = true;
    // Wakes the waiter when the listener ended on its own.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return served ? 0 : fail("the listener stopped unexpectedly", 1);
}
