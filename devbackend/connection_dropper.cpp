#include "connection_dropper.hpp"

#include <httplib.h>

#include <dirent.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

namespace devbackend::connection_dropper {

namespace {

struct Endpoint {
    std::string address;
    int port = -1;

    bool operator==(const Endpoint&) const = default;
};

std::optional<Endpoint> endpoint(int descriptor, bool peer) {
    sockaddr_storage storage{};
    socklen_t length = sizeof(storage);
    auto* address = reinterpret_cast<sockaddr*>(&storage);
    if ((peer ? getpeername(descriptor, address, &length)
              : getsockname(descriptor, address, &length)) != 0) {
        return std::nullopt;
    }
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(address, length, host, sizeof(host), service, sizeof(service),
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return std::nullopt;
    }
    return Endpoint{host, std::atoi(service)};
}

std::vector<int> openSockets() {
    std::vector<int> sockets;
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return sockets;
    }
    while (const dirent* item = readdir(folder)) {
        char* end = nullptr;
        const long descriptor = std::strtol(item->d_name, &end, 10);
        struct stat status {};
        if (end != item->d_name && *end == '\0' && descriptor != dirfd(folder) &&
            fstat(static_cast<int>(descriptor), &status) == 0 && S_ISSOCK(status.st_mode)) {
            sockets.push_back(static_cast<int>(descriptor));
        }
    }
    closedir(folder);
    return sockets;
}

void shutDownWhere(const std::function<bool(int)>& wanted, bool onlyFirst, bool& found,
                   const std::function<void()>& beforeShutdown = {}) {
    for (int descriptor : openSockets()) {
        if (wanted(descriptor)) {
            if (beforeShutdown) {
                beforeShutdown();
            }
            shutdown(descriptor, SHUT_RDWR);
            found = true;
            if (onlyFirst) {
                return;
            }
        }
    }
}

} // namespace

bool drop(const httplib::Request& request, const std::function<void()>& beforeShutdown) {
    const Endpoint local{request.local_addr, request.local_port};
    const Endpoint remote{request.remote_addr, request.remote_port};
    bool found = false;
    shutDownWhere(
        [&](int descriptor) {
            return endpoint(descriptor, false) == local && endpoint(descriptor, true) == remote;
        },
        true, found, beforeShutdown);
    return found;
}

void dropAll(int localPort) {
    bool found = false;
    shutDownWhere(
        [&](int descriptor) {
            const auto local = endpoint(descriptor, false);
            return local && local->port == localPort && endpoint(descriptor, true).has_value();
        },
        false, found);
}

} // namespace devbackend::connection_dropper
