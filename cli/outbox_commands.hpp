#pragma once

// The queued captures: listing them and delivering them now.

#include "command.hpp"

#include <cstddef>
#include <vector>

namespace tarvo::cli::OutboxCommands {

std::vector<Command> all();

// Delivers what is waiting and says what was sent and what still waits. Gives the number of
// captures still waiting.
std::size_t deliverWaiting(bool force);

} // namespace tarvo::cli::OutboxCommands
