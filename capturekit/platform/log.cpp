#include <capturekit/platform/log.hpp>

#include <capturekit/platform/text.hpp>

#include <systemd/sd-journal.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

#include <array>

namespace capturekit {

namespace {

bool stderrRequested() {
    const char* value = std::getenv("TARVO_LOG");
    return value != nullptr && std::strcmp(value, "stderr") == 0;
}

std::string field(std::string_view name, std::string_view value) {
    std::string entry(name);
    entry += '=';
    entry += value;
    return entry;
}

bool sendToJournal(const Logger& logger, LogLevel level, std::string_view message) {
    const std::array<std::string, 5> fields{
        field("MESSAGE", message),
        field("PRIORITY", std::to_string(Logger::priority(level))),
        field("SUBSYSTEM", logger.subsystem()),
        field("CATEGORY", logger.category()),
        field("SYSLOG_IDENTIFIER", program_invocation_short_name),
    };
    std::array<iovec, fields.size()> vector{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        vector[i].iov_base = const_cast<char*>(fields[i].data());
        vector[i].iov_len = fields[i].size();
    }
    return sd_journal_sendv(vector.data(), static_cast<int>(vector.size())) >= 0;
}

void writeToStderr(std::string_view line) {
    // One write per entry, so that entries of different threads do not interleave.
    while (!line.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        line.remove_prefix(static_cast<std::size_t>(written));
    }
}

void appendEscaped(std::string& out, std::string_view message) {
    static constexpr char digits[] = "0123456789abcdef";
    for (const char c : text::validUTF8(message)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0x0F];
        } else {
            out += c;
        }
    }
}

} // namespace

Logger::Logger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void Logger::log(LogLevel level, std::string_view message) const {
    if (!stderrRequested() && sendToJournal(*this, level, message)) {
        return;
    }
    if (level != LogLevel::debug) {
        writeToStderr(stderrLine(subsystem_, category_, level, message));
    }
}

int Logger::priority(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return 7;
    case LogLevel::info:
        return 6;
    case LogLevel::notice:
        return 5;
    case LogLevel::error:
        return 3;
    case LogLevel::fault:
        return 2;
    }
    return 5;
}

std::string_view Logger::levelName(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return "debug";
    case LogLevel::info:
        return "info";
    case LogLevel::notice:
        return "notice";
    case LogLevel::error:
        return "error";
    case LogLevel::fault:
        return "fault";
    }
    return "notice";
}

std::string Logger::stderrLine(std::string_view subsystem, std::string_view category,
                               LogLevel level, std::string_view message) {
    std::string line(subsystem);
    line += '[';
    line += category;
    line += "] ";
    line += levelName(level);
    line += ": ";
    appendEscaped(line, message);
    line += '\n';
    return line;
}

} // namespace capturekit
