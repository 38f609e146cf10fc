#pragma once

// A program a test starts as a second process: its standard input given, its standard output and
// error read through pipes.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace tarvo::test {

struct ChildProcess {
    // Where the child's standard error goes: the test's own, the output pipe, or a pipe of its own.
    enum class Errors { inherited, withOutput, apart };

    pid_t pid = -1;
    int outputFD = -1;
    int errorsFD = -1;
    std::string received; // output read so far

    // Starts `program` with the arguments; `environment` entries ("NAME=value") replace variables
    // of the same name in this process's environment (the last entry of a name wins), and "NAME"
    // alone removes one. `input` (at most a pipe's capacity) is its whole standard input.
    static ChildProcess start(const std::string& program, const std::vector<std::string>& arguments,
                              const std::vector<std::string>& environment = {},
                              Errors errors = Errors::inherited, const std::string& input = {}) {
        const auto nameOf = [](const std::string& entry) {
            return entry.substr(0, entry.find('='));
        };
        std::vector<std::string> variables;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            bool replaced = false;
            for (const auto& change : environment) {
                replaced = replaced || nameOf(change) == nameOf(*entry);
            }
            if (!replaced) {
                variables.emplace_back(*entry);
            }
        }
        for (std::size_t i = 0; i < environment.size(); ++i) {
            bool overridden = false;
            for (std::size_t later = i + 1; later < environment.size(); ++later) {
                overridden = overridden || nameOf(environment[later]) == nameOf(environment[i]);
            }
            if (!overridden && environment[i].find('=') != std::string::npos) {
                variables.push_back(environment[i]);
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

        ChildProcess child;
        int in[2], out[2], err[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
            return child;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (errors != Errors::inherited) {
            posix_spawn_file_actions_adddup2(&actions, errors == Errors::apart ? err[1] : out[1],
                                             STDERR_FILENO);
        }
        for (const int unused : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            posix_spawn_file_actions_addclose(&actions, unused);
        }
        if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) !=
            0) {
            child.pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        // Written while this process still holds the reading end, so a child that never reads
        // cannot make the write fail; the input fits in the pipe.
        if (::write(in[1], input.data(), input.size()) < 0) {
            child.pid = -1;
        }
        for (const int end : {in[0], in[1], out[1], err[1]}) {
            ::close(end);
        }
        child.outputFD = out[0];
        child.errorsFD = err[0];
        return child;
    }

    // Reads until a whole line of output has come (or the output ends).
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
        std::string errors; // with Errors::apart
    };

    // Reads the output and errors to their ends and waits for the child.
    Result finish() {
        Result result;
        pollfd streams[] = {{outputFD, POLLIN, 0}, {errorsFD, POLLIN, 0}};
        std::string* texts[] = {&received, &result.errors};
        while (streams[0].fd >= 0 || streams[1].fd >= 0) {
            ::poll(streams, 2, -1);
            for (int i = 0; i < 2; ++i) {
                if (streams[i].fd < 0 || streams[i].revents == 0) {
                    continue;
                }
                char buffer[4096];
                const ssize_t count = ::read(streams[i].fd, buffer, sizeof buffer);
                if (count > 0) {
                    texts[i]->append(buffer, static_cast<std::size_t>(count));
                } else {
                    ::close(streams[i].fd);
                    streams[i].fd = -1;
                }
            }
        }
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
