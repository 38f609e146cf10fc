#pragma once

// An in-process notification centre: components announce named events, and observers registered
// for a name are called on the posting thread, in the order they were added. Notifications carry
// no object and no user info.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace capturekit {

class NotificationCenter {
    struct State;

public:
    using Observer = std::function<void(std::string_view name)>;

    // Keeps an observer registered: destroying or cancelling it removes the observer. A call
    // already running on another thread may still finish after removal, but none starts.
    class Observation {
    public:
        Observation() = default;
        Observation(Observation&& other) noexcept;
        Observation& operator=(Observation&& other) noexcept;
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;
        ~Observation();

        void cancel();
        bool isActive() const;

    private:
        friend class NotificationCenter;
        Observation(std::weak_ptr<State> state, std::uint64_t id);

        std::weak_ptr<State> state_;
        std::uint64_t id_ = 0;
    };

    NotificationCenter();

    // The process's default centre.
    static NotificationCenter& shared();

    [[nodiscard]] Observation addObserver(std::string name, Observer observer);
    // Calls every observer of `name`. Observers may add or cancel observations while they run.
    void post(std::string_view name) const;

private:
    std::shared_ptr<State> state_;
};

} // namespace capturekit
