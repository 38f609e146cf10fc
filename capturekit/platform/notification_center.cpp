#include <capturekit/platform/notification_center.hpp>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace capturekit {

struct NotificationCenter::State {
    struct Entry {
        std::string name;
        std::shared_ptr<const Observer> observer;
    };

    mutable std::mutex mutex;
    std::map<std::uint64_t, Entry> entries; // ordered by id, which is the order of adding
    std::uint64_t nextID = 1;

    bool contains(std::uint64_t id) const {
        std::lock_guard lock(mutex);
        return entries.contains(id);
    }
};

NotificationCenter::Observation::Observation(std::weak_ptr<State> state, std::uint64_t id)
    : state_(std::move(state)), id_(id) {}

NotificationCenter::Observation::Observation(Observation&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, 0)) {}

NotificationCenter::Observation&
NotificationCenter::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        cancel();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

NotificationCenter::Observation::~Observation() {
    cancel();
}

void NotificationCenter::Observation::cancel() {
    if (const auto state = state_.lock()) {
        std::shared_ptr<const Observer> removed;
        {
            std::lock_guard lock(state->mutex);
            if (const auto found = state->entries.find(id_); found != state->entries.end()) {
                // The observer may own captures whose destructors must not run under the lock.
                removed = std::move(found->second.observer);
                state->entries.erase(found);
            }
        }
    }
    state_.reset();
    id_ = 0;
}

bool NotificationCenter::Observation::isActive() const {
    const auto state = state_.lock();
    return state && state->contains(id_);
}

NotificationCenter::NotificationCenter() : state_(std::make_shared<State>()) {}

NotificationCenter& NotificationCenter::shared() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Observation NotificationCenter::addObserver(std::string name,
                                                                Observer observer) {
    std::lock_guard lock(state_->mutex);
    const std::uint64_t id = state_->nextID++;
    state_->entries.emplace(
        id, State::Entry{std::move(name), std::make_shared<const Observer>(std::move(observer))});
    return Observation(state_, id);
}

void NotificationCenter::post(std::string_view name) const {
    std::vector<std::pair<std::uint64_t, std::shared_ptr<const Observer>>> matching;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& [id, entry] : state_->entries) {
            if (entry.name == name) {
                matching.emplace_back(id, entry.observer);
            }
        }
    }
    for (const auto& [id, observer] : matching) {
        // An observer cancelled by an earlier one in this same post is not called.
        if (state_->contains(id)) {
            (*observer)(name);
        }
    }
}

} // namespace capturekit
