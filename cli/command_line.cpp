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
    std::size_t width = 0;
    for (const auto& command : all) {
        width = std::max(width, command.name.size());
    }
    Console::print("usage: " + std::string(program) + " COMMAND [ARGUMENTS]\n       " +
                   std::string(program) + " --help | --version\n\nCommands:");
    for (const auto& command : all) {
        std::string line = "  " + std::string(command.name);
        line.append(width + 2 - command.name.size(), ' ');
        Console::print(line + std::string(command.summary));
    }
    Console::print("\n`" + std::string(program) +
                   " COMMAND --help` gives the command's usage and options.");
}

// The version, and the backend this build and environment talk to.
void printVersion() {
    Console::print(std::string(program) + " " TARVO_VERSION);
    AccountCommands::printBackend();
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
    if (words.front() == "--version") {
        if (words.size() > 1) {
            return usageError("--version takes no arguments");
        }
        printVersion();
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
