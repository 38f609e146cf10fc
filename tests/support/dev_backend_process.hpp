#pragma once

// The dev backend for integration tests: started on a free loopback port with a fresh database
// in a temporary folder, stopped and cleaned up when the object goes.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::test {

class DevBackendProcess {
public:
    // Starts `tarvo-devbackend --port 0 --db TEMPORARY arguments…` and returns once it listens.
    // Throws std::runtime_error when it exits or stays silent for ten seconds.
    explicit DevBackendProcess(const std::vector<std::string>& arguments = {});
    ~DevBackendProcess();
    DevBackendProcess(const DevBackendProcess&) = delete;
    DevBackendProcess& operator=(const DevBackendProcess&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT", usable as the API base.
    const std::string& baseURL() const { return baseURL_; }
    const std::filesystem::path& databasePath() const { return databasePath_; }
    pid_t pid() const { return pid_; }

    // Sends SIGTERM and waits (SIGKILL after ten seconds). Gives the exit status, or 128 plus
    // the signal that ended it. Later calls give the same status.
    int stop();

    // The server binary this build made.
    static std::filesystem::path executable();
    // The anonymous key the server checks "apikey" against.
    static std::string anonymousKey();

private:
    void waitUntilListening(int output);

    std::filesystem::path folder_;
    std::filesystem::path databasePath_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string baseURL_;
    int exitStatus_ = -1;
};

} // namespace tarvo::test
