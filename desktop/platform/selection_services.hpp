#pragma once

// The selection capture's steps for the session, with the thread they run on. Made on the main
// thread; the steps are then used on the capture thread alone.

#include <desktop/platform/selection_steps.hpp>

namespace tarvo::desktop {

class SelectionServices {
public:
    virtual ~SelectionServices() = default;
    virtual SelectionSteps steps() = 0;
};

} // namespace tarvo::desktop
