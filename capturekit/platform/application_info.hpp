#pragma once

// What the running program knows about itself: the application id and build settings compiled
// into it, and whether it runs inside the test runner.

#include <optional>
#include <string>
#include <string_view>

namespace capturekit::application {

// The application id of this build ("com.merrow.loft.mac" for production builds by default).
const std::string& identifier();

// The value of a named build setting ("TarvoEnvironment"); absent for a name the build does not
// define.
std::optional<std::string> buildSetting(std::string_view name);

// The test runner's main calls this before any configuration is read; configuration checks that
// only make sense for a shipped program are then skipped.
void markRunningUnderTestRunner();
bool isRunningUnderTestRunner();

} // namespace capturekit::application
