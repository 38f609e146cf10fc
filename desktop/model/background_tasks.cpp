#include <desktop/model/background_tasks.hpp>

#include <QMetaObject>

namespace tarvo::desktop {

void TaskHandle::cancel() const {
    if (state_) {
        state_->stop.request_stop();
    }
}

bool TaskHandle::isFinished() const {
    return !state_ || state_->finished;
}

void TaskHandle::whenFinished(std::function<void()> then) const {
    if (isFinished()) {
        then();
        return;
    }
    state_->waiting.push_back(std::move(then));
}

BackgroundTasks::BackgroundTasks(QObject& owner) : owner_(&owner) {}

BackgroundTasks::~BackgroundTasks() {
    std::list<Worker> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker.state->stop.request_stop();
    }
    // The jthreads join as the list goes; results they post to the owner are never run.
}

std::size_t BackgroundTasks::runningCount() const {
    std::lock_guard lock(mutex_);
    return workers_.size();
}

TaskHandle BackgroundTasks::start(Body body) {
    auto state = std::make_shared<TaskHandle::State>();
    std::lock_guard lock(mutex_);
    auto worker = workers_.insert(workers_.end(), Worker{state, {}});
    // The thread starts only once the iterator it reports with is in the list.
    worker->thread = std::jthread(
        [this, worker, body = std::move(body), stop = state->stop.get_token()]() mutable {
            auto result = body(stop);
            QMetaObject::invokeMethod(
                owner_,
                [this, worker, result = std::move(result)]() mutable {
                    deliver(worker, std::move(result));
                },
                Qt::QueuedConnection);
        });
    return TaskHandle(state);
}

void BackgroundTasks::deliver(std::list<Worker>::iterator worker, std::function<void()> result) {
    auto state = worker->state;
    {
        std::lock_guard lock(mutex_);
        worker->thread.join(); // it has nothing left to do but return
        workers_.erase(worker);
    }
    result();
    state->finished = true;
    for (auto& then : std::exchange(state->waiting, {})) {
        then();
    }
}

} // namespace tarvo::desktop
