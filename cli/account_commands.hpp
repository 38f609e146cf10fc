#pragma once

// Sign-in with device set-up, sign-out, the device token, AI consent and the status summary.

#include "command.hpp"

#include <vector>

namespace tarvo::cli::AccountCommands {

std::vector<Command> all();

// The backend this program talks to: its environment, API base and where the API key comes from.
void printBackend();

// Without a device token, says on standard error how to get one (a capture made then waits in the
// outbox until the computer is set up).
void sayHowToSignInWithoutDeviceToken();

} // namespace tarvo::cli::AccountCommands
