#include <capturekit/platform/file_descriptor.hpp>
#include <capturekit/platform/instance_socket.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/paths.hpp>
#include <capturekit/platform/text.hpp>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace capturekit::instance {

namespace {

using Clock = std::chrono::steady_clock;

bool fitsSocketAddress(const std::filesystem::path& path) {
    return path.native().size() < sizeof(sockaddr_un{}.sun_path);
}

// Waits for the descriptor to be ready for `events` until the deadline.
bool waitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

bool writeAll(int fd, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        if (!waitReady(fd, POLLOUT, deadline)) {
            return false;
        }
        const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        bytes.remove_prefix(written > 0 ? static_cast<std::size_t>(written) : 0);
    }
    return true;
}

bool readAnswer(int fd, Clock::time_point deadline) {
    std::string answer;
    char buffer[16];
    while (answer.find('\n') == std::string::npos && answer.size() < 64) {
        if (!waitReady(fd, POLLIN, deadline)) {
            return false;
        }
        const ssize_t count = ::recv(fd, buffer, sizeof(buffer), 0);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            return false;
        }
        answer.append(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
    }
    return answer.starts_with("ok\n");
}

} // namespace

std::optional<std::filesystem::path> socketPath() {
    std::optional<std::filesystem::path> path;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && std::filesystem::path(runtime).is_absolute()) {
        path = std::filesystem::path(runtime) / (application::identifier() + ".socket");
    } else if (const auto folder = paths::applicationSupport()) {
        path = *folder / "instance.socket";
    }
    if (path && !fitsSocketAddress(*path)) {
        return std::nullopt;
    }
    return path;
}

std::filesystem::path lockPath(const std::filesystem::path& socket) {
    return std::filesystem::path(socket.native() + ".lock");
}

std::string encodeRequest(const std::vector<std::string>& arguments) {
    Json array = Json::array();
    for (const auto& argument : arguments) {
        array.push_back(text::validUTF8(argument));
    }
    return array.dump() + "\n";
}

std::optional<std::vector<std::string>> decodeRequest(std::string_view line) {
    const Json parsed = Json::parse(line, nullptr, false);
    if (!parsed.is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> arguments;
    for (const auto& item : parsed) {
        if (!item.is_string()) {
            return std::nullopt;
        }
        arguments.push_back(item.get<std::string>());
    }
    return arguments;
}

Delivery sendArguments(const std::filesystem::path& socket,
                       const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    if (!fitsSocketAddress(socket)) {
        return Delivery::noInstance;
    }
    const FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) {
        return Delivery::noInstance;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.c_str(), socket.native().size());
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) {
            return Delivery::noInstance;
        }
    }
    if (!writeAll(fd.get(), encodeRequest(arguments), deadline) ||
        !readAnswer(fd.get(), deadline)) {
        return Delivery::noAnswer;
    }
    return Delivery::delivered;
}

} // namespace capturekit::instance
