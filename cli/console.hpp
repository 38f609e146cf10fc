#pragma once

// Standard input and output as the commands use them.

#include <capturekit/platform/date_time.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::cli::Console {

void print(std::string_view line);      // standard output, with a line break
void printError(std::string_view line); // standard error, with a line break

// Text from elsewhere (the server, stored files) made safe to print: valid UTF-8 whose control
// characters (C0, DEL, C1), which a terminal would obey as commands, are replaced; tabs and line
// breaks become spaces, the others U+FFFD.
std::string printable(std::string_view text);

// Everything on standard input, as valid UTF-8, without its final line break.
std::string readStandardInput();
bool inputIsTerminal();
// Prompts on standard error and reads one line from the terminal without echoing it.
std::optional<std::string> readSecretLine(std::string_view prompt);

// "just now", "5 min ago", "3 h ago", "2 d ago".
std::string age(capturekit::Date then, capturekit::Date now);

} // namespace tarvo::cli::Console
