#pragma once

// Runs the store helper as a child process, for the tests that need a second process.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace tarvo::test {

struct ChildProcess {
    pid_t pid = -1;
    int outputFD = -1;

    // Starts the helper with the arguments; `environment` entries ("NAME=value") replace
    // variables of the same name in this process's environment, and "NAME" alone removes one.
    static ChildProcess start(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& environment = {}) {
        std::vector<std::string> variables;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string variable = *entry;
            const std::string name = variable.substr(0, variable.find('='));
            bool replaced = false;
            for (const auto& change : environment) {
                replaced = replaced || change.substr(0, change.find('=')) == name;
            }
            if (!replaced) {
                variables.push_back(variable);
            }
        }
        for (const auto& change : environment) {
            if (change.find('=') != std::string::npos) {
                variables.push_back(change);
            }
        }
        std::vector<char*> argv{const_cast<char*>(TARVO_STORE_HELPER)};
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& variable : variables) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);

        int pipeFDs[2];
        ChildProcess child;
        if (::pipe(pipeFDs) != 0) {
            return child;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFDs[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFDs[0]);
        if (posix_spawn(&child.pid, TARVO_STORE_HELPER, &actions, nullptr, argv.data(),
                        envp.data()) != 0) {
            child.pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFDs[1]);
        child.outputFD = pipeFDs[0];
        return child;
    }

    struct Result {
        int exitCode = -1;
        std::string output;
    };

    // Reads the child's output to its end and waits for it.
    Result finish() {
        Result result;
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(outputFD, buffer, sizeof buffer)) > 0) {
            result.output.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(outputFD);
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
        return result;
    }
};

} // namespace tarvo::test
