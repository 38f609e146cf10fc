#pragma once

// The four capture actions (capture, note, reflect, task) and the two opening actions (open,
// record).

#include "command.hpp"

#include <vector>

namespace tarvo::cli::CaptureCommands {

std::vector<Command> all();

} // namespace tarvo::cli::CaptureCommands
