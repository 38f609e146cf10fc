#include <desktop/model/background_tasks.hpp>

#include <QMetaObject>

#include <list>
#include <mutex>
#include <thread>

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

// What the tasks share with the jobs they started: a job may outlive the BackgroundTasks (on a
// lane), so it reaches the owner only through this, and only while it is open.
struct BackgroundTasks::Core {
    struct Task {
        std::shared_ptr<TaskHandle::State> state;
        std::jthread thread; // none for a lane's task
    };

    QObject* owner;
    mutable std::mutex mutex;
    std::list<Task> tasks;
    bool closed = false;

    bool isClosed() const {
        std::lock_guard lock(mutex);
        return closed;
    }

    // On the worker: hands the result to the owner's thread, unless the tasks are gone.
    void post(const std::shared_ptr<Core>& self, std::list<Task>::iterator task, Result result) {
        std::lock_guard lock(mutex);
        if (closed) {
            return;
        }
        QMetaObject::invokeMethod(
            owner,
            [self, task, result = std::move(result)]() mutable {
                self->deliver(task, std::move(result));
            },
            Qt::QueuedConnection);
    }

    // On the owner's thread.
    void deliver(std::list<Task>::iterator task, Result result) {
        std::shared_ptr<TaskHandle::State> state;
        {
            std::lock_guard lock(mutex);
            if (closed) {
                return;
            }
            state = task->state;
            if (task->thread.joinable()) {
                task->thread.join(); // it has nothing left to do but return
            }
            tasks.erase(task);
        }
        result();
        state->finished = true;
        for (auto& then : std::exchange(state->waiting, {})) {
            then();
        }
    }
};

BackgroundTasks::BackgroundTasks(QObject& owner) : core_(std::make_shared<Core>()) {
    core_->owner = &owner;
}

BackgroundTasks::~BackgroundTasks() {
    std::list<Core::Task> tasks;
    {
        std::lock_guard lock(core_->mutex);
        core_->closed = true;
        tasks.swap(core_->tasks);
    }
    for (auto& task : tasks) {
        task.state->stop.request_stop();
    }
    // The threads join as the list goes; what they post is dropped.
}

std::size_t BackgroundTasks::runningCount() const {
    std::lock_guard lock(core_->mutex);
    return core_->tasks.size();
}

TaskHandle BackgroundTasks::start(Body body, const Post& post) {
    auto state = std::make_shared<TaskHandle::State>();
    std::unique_lock lock(core_->mutex);
    auto task = core_->tasks.insert(core_->tasks.end(), Core::Task{state, {}});
    auto job = [core = core_, task, body = std::move(body),
                stop = state->stop.get_token()]() mutable {
        if (core->isClosed()) {
            return; // a lane's job whose tasks went before it started
        }
        core->post(core, task, body(stop));
    };
    if (post) {
        lock.unlock(); // a lane may run the job at once, on this thread
        post(std::move(job));
    } else {
        // The thread waits for the lock, so its entry is complete before it reports.
        task->thread = std::jthread(std::move(job));
    }
    return TaskHandle(state);
}

} // namespace tarvo::desktop
