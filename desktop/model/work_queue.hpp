#pragma once

// One worker thread that runs the jobs posted to it one after another, in order: a lane for
// BackgroundTasks where work must not run side by side (one screenshot decoded at a time). Jobs
// that have not started when the queue goes are dropped; the running one is waited for.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvo::desktop {

class WorkQueue {
public:
    WorkQueue();
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    void post(std::function<void()> job);

private:
    void runJobs(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> jobs_;
    std::jthread thread_; // last: it starts once the rest is ready
};

} // namespace tarvo::desktop
