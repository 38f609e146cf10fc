#pragma once

// The system log. Every component logs through a Logger named by a subsystem (an application id)
// and a category (the component). Entries go to the journal with the fields SUBSYSTEM, CATEGORY
// and PRIORITY; without a journal, or with TARVO_LOG=stderr, they go to standard error, one line
// each (debug entries only to the journal).
//
// Never log tokens, passwords or the contents of captures.

#include <string>
#include <string_view>

namespace capturekit {

enum class LogLevel { debug, info, notice, error, fault };

class Logger {
public:
    Logger(std::string subsystem, std::string category);

    void log(LogLevel level, std::string_view message) const;
    void debug(std::string_view message) const { log(LogLevel::debug, message); }
    void info(std::string_view message) const { log(LogLevel::info, message); }
    void notice(std::string_view message) const { log(LogLevel::notice, message); }
    void error(std::string_view message) const { log(LogLevel::error, message); }
    void fault(std::string_view message) const { log(LogLevel::fault, message); }

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    // The syslog priority of a level (debug 7 … fault 2).
    static int priority(LogLevel level);
    static std::string_view levelName(LogLevel level);
    // The standard-error form of an entry: "subsystem[category] level: message\n", with line
    // breaks and other control characters of the message escaped so one entry is one line.
    static std::string stderrLine(std::string_view subsystem, std::string_view category,
                                  LogLevel level, std::string_view message);

private:
    std::string subsystem_;
    std::string category_;
};

} // namespace capturekit
