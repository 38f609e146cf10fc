#pragma once

// Pauses between retries, injectable so retry timing is tested without waiting. A pause ends
// early, without error, when its stop token is triggered.

#include <chrono>
#include <stop_token>

namespace capturekit {

class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(std::chrono::milliseconds duration, std::stop_token stop) = 0;
};

class ThreadSleeper final : public Sleeper {
public:
    void sleep(std::chrono::milliseconds duration, std::stop_token stop) override;
    static ThreadSleeper& shared();
};

} // namespace capturekit
