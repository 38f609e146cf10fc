#pragma once

// A clock that moves only when the test says so, readable from any thread.

#include <capturekit/platform/date_time.hpp>

#include <atomic>

namespace tarvo::test {

class ManualClock final : public capturekit::Clock {
public:
    explicit ManualClock(capturekit::Date start) : now_(start.time_since_epoch().count()) {}
    capturekit::Date now() const override {
        return capturekit::Date(capturekit::Date::duration(now_.load()));
    }
    void set(capturekit::Date date) { now_ = date.time_since_epoch().count(); }
    void advance(capturekit::Date::duration by) { now_ += by.count(); }

private:
    std::atomic<capturekit::Date::duration::rep> now_;
};

} // namespace tarvo::test
