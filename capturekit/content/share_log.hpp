#pragma once

// Timing marks for the share flow in the system log (subsystem "com.merrow.loft.share", category
// "stages"): the first mark of a process fixes the start, every mark says how long after it came.

#include <chrono>
#include <string>
#include <string_view>

namespace capturekit::ShareLog {

// Logs "[share-stage +Nms] label" and gives N.
std::chrono::milliseconds step(std::string_view label);

std::string entryText(std::chrono::milliseconds sinceStart, std::string_view label);

} // namespace capturekit::ShareLog
