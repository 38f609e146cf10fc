#pragma once

// The one thread that every selection-capture step runs on. The steps may wait for other programs
// (the hot key's release, a copy, a selection transfer); the main thread never does.

#include <functional>

namespace tarvo::desktop {

class CaptureThread {
public:
    virtual ~CaptureThread() = default;
    // Runs the job on the capture thread, after the jobs posted before it.
    virtual void post(std::function<void()> job) = 0;
};

} // namespace tarvo::desktop
