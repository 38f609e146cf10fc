#pragma once

// The machine's name as people know it.

#include <optional>
#include <string>
#include <string_view>

namespace capturekit::host {

// PRETTY_HOSTNAME of /etc/machine-info, else the host name; absent when neither is set.
std::optional<std::string> localizedName();

// The PRETTY_HOSTNAME value of machine-info text (shell-style assignments, one per line, the
// value optionally in single or double quotes); absent when missing or blank.
std::optional<std::string> prettyHostname(std::string_view machineInfo);

} // namespace capturekit::host
