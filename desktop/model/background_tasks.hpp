#pragma once

// Blocking library calls (network, keyring, outbox files, image decoding) run here, off the main
// thread: each task on a thread of its own, or on a lane (an object with `post(job)`, such as a
// WorkQueue or the selection-capture thread) when tasks must not run side by side. Each task's
// result is handed back to the owner's thread with a queued call before anything touches the
// owner. Destroying the tasks asks every running one to stop and waits for the ones on threads of
// their own; a result that arrives after that is dropped, and a lane's task that has not started
// by then never runs.

#include <QObject>

#include <functional>
#include <memory>
#include <stop_token>
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

    // Runs `work(stop)` on a thread of its own and then `done(result)` on the owner's thread.
    template <typename Work, typename Done> TaskHandle run(Work work, Done done) {
        return start(body(std::move(work), std::move(done)), {});
    }

    // The same on `lane`, after the jobs posted to it before. The lane must outlive the task.
    template <typename Lane, typename Work, typename Done>
    TaskHandle runOn(Lane& lane, Work work, Done done) {
        return start(body(std::move(work), std::move(done)),
                     [&lane](std::function<void()> job) { lane.post(std::move(job)); });
    }

    // Tasks whose results have not been delivered yet.
    std::size_t runningCount() const;

private:
    struct Core;
    using Result = std::function<void()>;
    using Body = std::function<Result(std::stop_token)>;
    using Post = std::function<void(std::function<void()>)>;

    template <typename Work, typename Done> static Body body(Work work, Done done) {
        return [work = std::move(work),
                done = std::move(done)](std::stop_token stop) mutable -> Result {
            auto result = work(stop);
            return [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            };
        };
    }

    TaskHandle start(Body body, const Post& post);

    std::shared_ptr<Core> core_;
};

} // namespace tarvo::desktop
