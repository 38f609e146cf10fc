#pragma once

// tarvo-capture's entry: finds the command, prints help and usage errors, and gives the exit
// status (0 done, 1 failed, 2 usage error).

#include <string>
#include <vector>

namespace tarvo::cli::CommandLine {

int run(const std::vector<std::string>& words);

} // namespace tarvo::cli::CommandLine
