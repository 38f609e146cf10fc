#include <desktop/model/work_queue.hpp>

namespace tarvo::desktop {

WorkQueue::WorkQueue() : thread_([this](std::stop_token stop) { runJobs(stop); }) {}

WorkQueue::~WorkQueue() {
    thread_.request_stop();
    // The jthread joins here, before the jobs it might still take are gone.
    thread_ = {};
}

void WorkQueue::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkQueue::runJobs(std::stop_token stop) {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); })) {
                return; // stopped
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
        if (stop.stop_requested()) {
            return;
        }
    }
}

} // namespace tarvo::desktop
