#pragma once

// Runs the real tarvo-capture binary as a child process with the test's environment (its private
// XDG folders and API base), a plain-file secret store and the given standard input.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::test {

struct CommandResult {
    int exitStatus = -1;
    std::string output; // standard output
    std::string errors; // standard error
};

struct CommandOptions {
    std::string input;                  // standard input
    std::optional<std::string> apiBase; // replaces TARVO_API_BASE for this run
};

// `environment` is set last, over the test's own.
using EnvironmentVariables = std::vector<std::pair<std::string, std::string>>;
CommandResult runTarvoCapture(const std::vector<std::string>& arguments,
                              const CommandOptions& options = {},
                              const EnvironmentVariables& environment = {});

} // namespace tarvo::test
