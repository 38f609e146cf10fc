#pragma once

#include <string>

namespace capturekit {

// A random (version 4) UUID from the secure random source, in canonical upper-case text:
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string makeUUIDString();

// Whether the text is a UUID in canonical form (either case).
bool isUUIDString(const std::string& text);

} // namespace capturekit
