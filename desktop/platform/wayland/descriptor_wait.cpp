#include <desktop/platform/wayland/descriptor_wait.hpp>

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace tarvo::desktop {

bool waitUntilReady(int fd, short events, DescriptorDeadline deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{fd, events, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled > 0) {
            // A closed or broken writer counts as ready: the read that follows says which.
            return (ready.revents & (events | POLLHUP | POLLERR)) != 0;
        }
        if (polled == 0 || errno != EINTR) {
            return false;
        }
    }
}

std::optional<std::string> readUntilClosed(int fd, std::size_t maxBytes,
                                           DescriptorDeadline deadline) {
    std::string contents;
    std::array<char, 64 * 1024> buffer{};
    while (waitUntilReady(fd, POLLIN, deadline)) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count == 0) {
            return contents;
        }
        if (count < 0 && errno != EINTR && errno != EAGAIN) {
            return std::nullopt;
        }
        if (count < 0) {
            continue;
        }
        if (contents.size() + static_cast<std::size_t>(count) > maxBytes) {
            return std::nullopt;
        }
        contents.append(buffer.data(), static_cast<std::size_t>(count));
    }
    return std::nullopt;
}

} // namespace tarvo::desktop
