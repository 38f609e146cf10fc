#pragma once

// How far a piece of work raises the process's resident memory at its peak, from the kernel's
// own high-water mark (reset first), for the tests and benchmarks of untrusted images.

#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::test {

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM"); absent when it is not there.
inline std::optional<long> statusBytes(std::string_view name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ':') {
            return std::stol(line.substr(name.size() + 1)) * 1024; // "  1234 kB"
        }
    }
    return std::nullopt;
}

// How far the resident memory rose above where it stood while `work` ran; absent where the peak
// cannot be reset.
inline std::optional<long> peakResidentGrowth(const std::function<void()>& work) {
    if (!(std::ofstream("/proc/self/clear_refs") << "5" << std::flush)) {
        return std::nullopt;
    }
    const auto before = statusBytes("VmRSS");
    work();
    const auto peak = statusBytes("VmHWM");
    return before && peak ? std::optional(*peak - *before) : std::nullopt;
}

} // namespace tarvo::test
