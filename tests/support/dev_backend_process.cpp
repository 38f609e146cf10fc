#include "support/dev_backend_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace tarvo::test {

namespace {

using namespace std::chrono_literals;

constexpr auto startTimeout = 10s;
constexpr auto stopTimeout = 10s;
constexpr std::string_view listeningMark = "listening on ";

std::filesystem::path makeTemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/tarvo-devbackend-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    return pattern;
}

int decodeStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

std::filesystem::path DevBackendProcess::executable() {
    return TARVO_DEVBACKEND_EXECUTABLE;
}

std::string DevBackendProcess::anonymousKey() {
    return TARVO_DEVBACKEND_ANON_KEY;
}

DevBackendProcess::DevBackendProcess(const std::vector<std::string>& arguments)
    : folder_(makeTemporaryFolder()), databasePath_(folder_ / "backend.sqlite3") {
    std::vector<std::string> words{executable().string(), "--port", "0", "--db",
                                   databasePath_.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    pid_ = fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls between fork and exec. The server goes when the test does.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(output[1], STDOUT_FILENO);
        close_range(STDERR_FILENO + 1, ~0U, 0); // the test's own sockets and files stay its own
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);
    if (pid_ < 0) {
        close(output[0]);
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    try {
        waitUntilListening(output[0]);
    } catch (...) {
        close(output[0]);
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        throw;
    }
    // Nothing more is read; the server writes to standard output only while starting.
    close(output[0]);
}

void DevBackendProcess::waitUntilListening(int output) {
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    std::string received;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{output, POLLIN, 0};
        if (left <= 0ms || poll(&readable, 1, static_cast<int>(left.count())) == 0) {
            throw std::runtime_error("tarvo-devbackend did not start listening: " + received);
        }
        char buffer[512];
        const ssize_t count = read(output, buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw std::runtime_error("tarvo-devbackend exited while starting (status " +
                                     std::to_string(stop()) + "): " + received);
        }
        received.append(buffer, static_cast<std::size_t>(count));
        const std::size_t mark = received.find(listeningMark);
        const std::size_t end = mark == std::string::npos ? mark : received.find('\n', mark);
        if (end != std::string::npos) {
            baseURL_ =
                received.substr(mark + listeningMark.size(), end - mark - listeningMark.size());
            port_ = std::stoi(baseURL_.substr(baseURL_.rfind(':') + 1));
            return;
        }
    }
}

int DevBackendProcess::stop() {
    if (pid_ <= 0) {
        return exitStatus_;
    }
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + stopTimeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    pid_ = -1;
    exitStatus_ = decodeStatus(status);
    return exitStatus_;
}

DevBackendProcess::~DevBackendProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace tarvo::test
