#pragma once

// One sub-command of tarvo-capture: its name, its usage line and help, and what it runs.

#include "arguments.hpp"

#include <expected>
#include <string_view>

namespace tarvo::cli {

enum ExitCode : int { success = 0, failure = 1, usage = 2 };

struct Command {
    std::string_view name;
    std::string_view synopsis; // the words after the command name in the usage line
    std::string_view summary;  // what it does, one line for the overview
    std::string_view help;     // what it does, a few lines
    std::expected<int, UsageError> (*run)(Arguments& arguments);
};

} // namespace tarvo::cli
