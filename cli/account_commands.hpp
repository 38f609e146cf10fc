#pragma once

// Sign-in with device set-up, sign-out, the device token, AI consent and the status summary.

#include "command.hpp"

#include <vector>

namespace tarvo::cli::AccountCommands {

std::vector<Command> all();

// True when a device token is stored; otherwise says how to get one and gives false.
bool hasDeviceTokenOrSaySignIn();

} // namespace tarvo::cli::AccountCommands
