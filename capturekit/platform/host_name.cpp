#include <capturekit/platform/host_name.hpp>

#include <capturekit/platform/text.hpp>

#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>

namespace capturekit::host {

namespace {

// Undoes the quoting machine-info values may carry: one pair of surrounding quotes, and
// backslash escapes inside double quotes or unquoted text.
std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
        return std::string(value.substr(1, value.size() - 2));
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            ++i;
        }
        out += value[i];
    }
    return out;
}

std::optional<std::string> systemHostName() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        return std::nullopt;
    }
    return text::trimmedNonEmpty(text::validUTF8(buffer));
}

} // namespace

std::optional<std::string> prettyHostname(std::string_view machineInfo) {
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    std::optional<std::string> found;
    std::istringstream lines{std::string(machineInfo)};
    for (std::string line; std::getline(lines, line);) {
        const std::string entry = text::trimmed(line);
        if (entry.starts_with(key)) {
            found = text::trimmedNonEmpty(text::validUTF8(unquoted(entry.substr(key.size()))));
        }
    }
    return found;
}

std::optional<std::string> localizedName() {
    std::ifstream file("/etc/machine-info");
    if (file) {
        std::ostringstream contents;
        contents << file.rdbuf();
        if (auto name = prettyHostname(contents.str())) {
            return name;
        }
    }
    return systemHostName();
}

} // namespace capturekit::host
