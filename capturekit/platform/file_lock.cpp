#include <capturekit/platform/file_lock.hpp>

#include <capturekit/platform/paths.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace capturekit {

namespace {

constexpr std::chrono::milliseconds pollInterval{10};

} // namespace

FileLock::FileLock(const std::filesystem::path& file, std::chrono::milliseconds wait,
                   std::stop_token stop) {
    if (file.has_parent_path() && !paths::ensurePrivateDirectory(file.parent_path())) {
        return;
    }
    descriptor_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor_ < 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            outcome_ = Outcome::unusable;
            return;
        }
        if (stop.stop_requested()) {
            outcome_ = Outcome::stopped;
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            outcome_ = Outcome::timedOut;
            return;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    outcome_ = Outcome::held;
}

FileLock::~FileLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_); // closing the last descriptor releases the lock
    }
}

} // namespace capturekit
