#pragma once

// Waits on file descriptors that another program writes to (a compositor's socket, a transfer
// pipe) without ever waiting past a deadline and without holding more than a size limit: the other
// program may be slow, stuck or endless.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace tarvo::desktop {

using DescriptorDeadline = std::chrono::steady_clock::time_point;

// Whether `fd` became ready for one of the poll `events` before the deadline.
bool waitUntilReady(int fd, short events, DescriptorDeadline deadline);

// The whole contents once the writer has closed the pipe; absent when the deadline passes first,
// the contents grow past `maxBytes`, or reading fails. Does not close `fd`.
std::optional<std::string> readUntilClosed(int fd, std::size_t maxBytes,
                                           DescriptorDeadline deadline);

} // namespace tarvo::desktop
