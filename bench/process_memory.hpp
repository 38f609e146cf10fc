#pragma once

// The process's resident memory as the kernel counts it, and its peak since the last reset, for
// benchmarks that compare the memory of one way of working with another in the same run.

#include <malloc.h>

#include <fstream>
#include <string>

namespace tarvo::bench {

// A field of /proc/self/status in kibibytes ("VmRSS", "VmHWM"); 0 when it cannot be read.
inline long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return 0;
}

// Gives freed memory back to the system and starts a new peak from the memory in use now.
inline long resetPeakKiB() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKiB("VmRSS");
}

// How far the peak rose above `startKiB` since the last reset, in mebibytes.
inline double peakRiseMiB(long startKiB) {
    return static_cast<double>(statusKiB("VmHWM") - startKiB) / 1024.0;
}

} // namespace tarvo::bench
