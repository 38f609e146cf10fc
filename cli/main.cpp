#include "command_line.hpp"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    return tarvo::cli::CommandLine::run(std::vector<std::string>(argv + 1, argv + argc));
}
