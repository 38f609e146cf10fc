#pragma once

// The copy keystroke (Control+C) through XTEST, as if typed on the keyboard, and the clipboard's
// new text once its owner has changed (XFixes), over the capture thread's private connection.

#include <desktop/platform/synthetic_copy.hpp>
#include <desktop/platform/x11/x11_selection_reader.hpp>

namespace tarvo::desktop {

class X11SyntheticCopy final : public SyntheticCopy {
public:
    explicit X11SyntheticCopy(X11Connection& connection)
        : connection_(connection), reader_(connection) {}

    Synthesis canSynthesise() override;
    CopyResult copy(std::chrono::milliseconds timeout) override;

private:
    bool sendKeystroke();

    X11Connection& connection_;
    X11SelectionReader reader_;
};

} // namespace tarvo::desktop
