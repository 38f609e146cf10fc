#pragma once

// A program a test starts as a second process, its standard output (and, when asked, its standard
// error) read through a pipe.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace tarvo::test {

struct ChildProcess {
    pid_t pid = -1;
    int outputFD = -1;
    std::string received; // what was read so far

    // Starts `program` with the arguments; `environment` entries ("NAME=value") replace variables
    // of the same name in this process's environment, and "NAME" alone removes one.
    static ChildProcess start(const std::string& program, const std::vector<std::string>& arguments,
                              const std::vector<std::string>& environment = {},
                              bool errorsToOutput = false) {
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
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
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
        if (errorsToOutput) {
            posix_spawn_file_actions_adddup2(&actions, pipeFDs[1], STDERR_FILENO);
        }
        posix_spawn_file_actions_addclose(&actions, pipeFDs[0]);
        if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) !=
            0) {
            child.pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFDs[1]);
        child.outputFD = pipeFDs[0];
        return child;
    }

    // Reads until a whole line has come (or the output ends).
    void awaitLine() {
        char c = 0;
        while (::read(outputFD, &c, 1) == 1) {
            received.push_back(c);
            if (c == '\n') {
                return;
            }
        }
    }

    struct Result {
        int exitCode = -1; // -1 when it did not exit by itself
        std::string output;
    };

    // Reads the output to its end and waits for the child.
    Result finish() {
        Result result;
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(outputFD, buffer, sizeof buffer)) > 0) {
            received.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(outputFD);
        result.output = received;
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
        return result;
    }

    // Ends the child with SIGKILL and gives what it wrote.
    Result kill() {
        ::kill(pid, SIGKILL);
        return finish();
    }
};

} // namespace tarvo::test
