#pragma once

// The desktop app's instance channel, as every program of the project reaches it: one running
// app per session listens on a local socket, and a second start or the command line hands it a
// list of arguments ("--show-menu", "--open-surface RAW", …). On the wire, a request is a JSON
// array of strings followed by a line feed; the app answers "ok" and a line feed once it has
// taken the request.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace capturekit::instance {

// $XDG_RUNTIME_DIR/<application id>.socket when the runtime folder is set, else
// "instance.socket" in the application's own data folder. Absent when neither can be had or the
// path is too long for a local socket.
std::optional<std::filesystem::path> socketPath();
// The lock file that the running app holds for its whole life, beside the socket.
std::filesystem::path lockPath(const std::filesystem::path& socket);

enum class Delivery {
    delivered,  // the app answered "ok"
    noInstance, // nothing listens (no socket, or one left by an app that is gone)
    noAnswer,   // something listens but did not take the request in time
};

// Hands the arguments to the running app, waiting at most `timeout` in all.
Delivery sendArguments(const std::filesystem::path& socket,
                       const std::vector<std::string>& arguments,
                       std::chrono::milliseconds timeout);

// The request's bytes and, for the app, the arguments read back from one request line (absent
// when it is not a JSON array of strings).
std::string encodeRequest(const std::vector<std::string>& arguments);
std::optional<std::vector<std::string>> decodeRequest(std::string_view line);

} // namespace capturekit::instance
