#include "command_line.hpp"

#include "account_commands.hpp"
#include "capture_commands.hpp"
#include "console.hpp"
#include "outbox_commands.hpp"

#include <algorithm>

namespace tarvo::cli::CommandLine {

namespace {

constexpr std::string_view program = "tarvo-capture";

std::vector<Command> commands() {
    std::vector<Command> all = CaptureCommands::all();
    std::ranges::move(AccountCommands::all(), std::back_inserter(all));
    std::ranges::move(OutboxCommands::all(), std::back_inserter(all));
    return all;
}

std::string usageLine(const Command& command) {
    std::string line = "usage: " + std::string(program) + " " + std::string(command.name);
    if (!command.synopsis.empty()) {
        line += " " + std::string(command.synopsis);
    }
    return line;
}

void printOverview(const std::vector<Command>& all) {
    Console::print("usage: " + std::string(program) + " COMMAND [ARGUMENTS]\n\nCommands:");
    for (const auto& command : all) {
        std::string line = "  " + std::string(command.name);
        if (!command.synopsis.empty()) {
            line += " " + std::string(command.synopsis);
        }
        Console::print(line);
    }
    Console::print("\n`" + std::string(program) + " COMMAND --help` tells more about a command.");
}

int usageError(std::string_view message) {
    Console::printError(std::string(program) + ": " + std::string(message));
    return ExitCode::usage;
}

} // namespace

int run(const std::vector<std::string>& words) {
    const auto all = commands();
    if (words.empty()) {
        return usageError("no command given (try --help)");
    }
    if (words.front() == "--help" || words.front() == "-h" || words.front() == "help") {
        printOverview(all);
        return ExitCode::success;
    }
    const auto command =
        std::ranges::find_if(all, [&](const Command& each) { return each.name == words.front(); });
    if (command == all.end()) {
        return usageError("unknown command \"" + words.front() + "\" (try --help)");
    }
    Arguments arguments({std::next(words.begin()), words.end()});
    if (arguments.wantsHelp()) {
        Console::print(usageLine(*command) + "\n\n" + std::string(command->help));
        return ExitCode::success;
    }
    const auto status = command->run(arguments);
    if (!status) {
        return usageError(std::string(command->name) + ": " + status.error().message);
    }
    return *status;
}

} // namespace tarvo::cli::CommandLine
