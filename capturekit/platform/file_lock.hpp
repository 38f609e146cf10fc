#pragma once

// An advisory exclusive lock on a file (flock), for work that processes sharing a store must not
// do at the same time. Each FileLock opens the file itself, so threads of one process exclude
// each other too. Released when the object goes.

#include <chrono>
#include <filesystem>
#include <stop_token>

namespace capturekit {

class FileLock {
public:
    enum class Outcome {
        held,     // the lock is ours
        timedOut, // another holder kept it past the wait
        stopped,  // the stop token was triggered while waiting
        unusable, // the lock file could not be created or opened
    };

    // Waits for the lock on `file` (created 0600 with its folder when missing) until it is free,
    // `wait` has passed or `stop` is triggered.
    FileLock(const std::filesystem::path& file, std::chrono::milliseconds wait,
             std::stop_token stop = {});
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    Outcome outcome() const { return outcome_; }
    bool isHeld() const { return outcome_ == Outcome::held; }

private:
    int descriptor_ = -1;
    Outcome outcome_ = Outcome::unusable;
};

} // namespace capturekit
