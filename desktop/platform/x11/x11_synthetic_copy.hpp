#pragma once

// The copy keystroke (Control+C) through XTEST, as if typed on the keyboard, and the clipboard's
// new text once its owner has changed (XFixes), over the capture thread's private connection.

#include <desktop/platform/synthetic_copy.hpp>
#include <desktop/platform/x11/x11_selection_reader.hpp>

namespace tarvo::desktop {

class X11SyntheticCopy final : public SyntheticCopy {
public:
    // `waylandSession`: the session's compositor is not this X server, so no keystroke is sent.
    explicit X11SyntheticCopy(X11Connection& connection, bool waylandSession = false)
        : connection_(connection), reader_(connection), waylandSession_(waylandSession) {}

    Synthesis canSynthesise() override;
    CopyResult copy(std::chrono::milliseconds timeout) override;

private:
    bool sendKeystroke();

    X11Connection& connection_;
    X11SelectionReader reader_;
    bool waylandSession_;
};

} // namespace tarvo::desktop
