#pragma once

// A Sleeper that returns at once and remembers each pause it was asked for.

#include <capturekit/platform/sleeper.hpp>

#include <functional>
#include <vector>

namespace tarvo::test {

class RecordingSleeper final : public capturekit::Sleeper {
public:
    std::vector<std::chrono::milliseconds> pauses;
    std::function<void()> onSleep; // runs in place of each pause

    void sleep(std::chrono::milliseconds duration, std::stop_token) override {
        pauses.push_back(duration);
        if (onSleep) {
            onSleep();
        }
    }
};

} // namespace tarvo::test
