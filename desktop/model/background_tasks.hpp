#pragma once

// Blocking library calls (network, keyring, outbox files) run here on worker threads, never on
// the main thread. Each task's result is handed back to the owner's thread with a queued call
// before anything touches the model. Destroying the tasks asks every running one to stop and
// waits for it; a result that arrives after that is dropped.

#include <QObject>

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace tarvo::desktop {

class TaskHandle {
public:
    TaskHandle() = default;

    // Asks the work to stop; its result is still delivered.
    void cancel() const;
    // Whether the result has been delivered (or the task was dropped).
    bool isFinished() const;
    // Calls `then` on the owner's thread once the result has been delivered (at once when it
    // already has been).
    void whenFinished(std::function<void()> then) const;

    bool operator==(const TaskHandle& other) const { return state_ == other.state_; }

private:
    friend class BackgroundTasks;
    struct State {
        std::stop_source stop;
        bool finished = false; // owner's thread only
        std::vector<std::function<void()>> waiting;
    };
    explicit TaskHandle(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

class BackgroundTasks {
public:
    explicit BackgroundTasks(QObject& owner);
    ~BackgroundTasks();
    BackgroundTasks(const BackgroundTasks&) = delete;
    BackgroundTasks& operator=(const BackgroundTasks&) = delete;

    // Runs `work(stop)` on a worker thread and then `done(result)` on the owner's thread.
    template <typename Work, typename Done> TaskHandle run(Work work, Done done) {
        return start([work = std::move(work), done = std::move(done)](
                         std::stop_token stop) mutable -> std::function<void()> {
            auto result = work(stop);
            return [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            };
        });
    }

    // Tasks whose results have not been delivered yet.
    std::size_t runningCount() const;

private:
    struct Worker {
        std::shared_ptr<TaskHandle::State> state;
        std::jthread thread;
    };
    using Body = std::function<std::function<void()>(std::stop_token)>;

    TaskHandle start(Body body);
    void deliver(std::list<Worker>::iterator worker, std::function<void()> result);

    QObject* owner_;
    mutable std::mutex mutex_;
    std::list<Worker> workers_;
};

} // namespace tarvo::desktop
