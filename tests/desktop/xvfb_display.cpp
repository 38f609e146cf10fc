#include "xvfb_display.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace tarvo::test {

namespace {

// Reads the display number Xvfb writes once it accepts connections.
std::string readDisplayNumber(int descriptor) {
    std::string number;
    for (;;) {
        pollfd ready{.fd = descriptor, .events = POLLIN, .revents = 0};
        if (poll(&ready, 1, 20000) <= 0) {
            return {};
        }
        char byte = 0;
        if (read(descriptor, &byte, 1) != 1 || byte == '\n') {
            return number;
        }
        number += byte;
    }
}

} // namespace

XvfbDisplay::XvfbDisplay() {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        throw std::runtime_error("no pipe for Xvfb");
    }
    const std::string descriptor = std::to_string(pipeEnds[1]);
    std::vector<std::string> arguments{"Xvfb", "-displayfd",  descriptor,  "-screen",
                                       "0",    "1280x800x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    const std::string number = spawned == 0 ? readDisplayNumber(pipeEnds[0]) : std::string();
    close(pipeEnds[0]);
    if (number.empty()) {
        if (spawned == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        throw std::runtime_error("Xvfb did not start");
    }
    name_ = ":" + number;
    setenv("DISPLAY", name_.c_str(), 1);
}

XvfbDisplay::~XvfbDisplay() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

} // namespace tarvo::test
