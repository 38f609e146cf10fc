#pragma once

// The hot key's keys as the X server holds them (XQueryKeymap), and their release through XTEST.

#include <desktop/platform/modifier_state.hpp>
#include <desktop/platform/x11/x11_connection.hpp>

#include <vector>

namespace tarvo::desktop {

class X11ModifierState final : public ModifierState {
public:
    explicit X11ModifierState(X11Connection& connection) : connection_(connection) {}

    bool anyHeld() override { return !heldKeycodes().empty(); }
    void releaseHeld() override;

private:
    std::vector<unsigned int> heldKeycodes();

    X11Connection& connection_;
};

} // namespace tarvo::desktop
