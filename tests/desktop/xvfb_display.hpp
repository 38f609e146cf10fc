#pragma once

// A private X server (Xvfb) for tests that need a real display: started on a free display number,
// set as DISPLAY for the test process, and ended when the object goes.

#include <sys/types.h>

#include <string>

namespace tarvo::test {

class XvfbDisplay {
public:
    // Throws std::runtime_error when Xvfb cannot be started.
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // ":N"
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

} // namespace tarvo::test
