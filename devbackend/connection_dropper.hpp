#pragma once

// Closing connections without a reply. The HTTP layer does not hand its sockets to handlers, so
// the socket of a request is found by its two addresses among the process's open descriptors.

#include <functional>
#include <string>

namespace httplib {
struct Request;
}

namespace devbackend::connection_dropper {

// Shuts the request's connection down in both directions; the client sees it closed before any
// reply. `beforeShutdown` runs once the connection is found, before the client can notice
// anything. False when the connection was not found.
bool drop(const httplib::Request& request, const std::function<void()>& beforeShutdown = {});

// Shuts down every accepted connection to the local port, so that idle kept-alive connections
// do not hold up a shutdown.
void dropAll(int localPort);

} // namespace devbackend::connection_dropper
