#include <capturekit/platform/sleeper.hpp>

#include <condition_variable>
#include <mutex>

namespace capturekit {

void ThreadSleeper::sleep(std::chrono::milliseconds duration, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
}

ThreadSleeper& ThreadSleeper::shared() {
    static ThreadSleeper sleeper;
    return sleeper;
}

} // namespace capturekit
