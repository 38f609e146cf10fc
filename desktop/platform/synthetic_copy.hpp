#pragma once

// Sends the copy keystroke (Control+C) to the focused window and reads what it put on the
// clipboard. Called on the selection-capture thread only.

#include <chrono>
#include <string>
#include <variant>

namespace tarvo::desktop {

// Whether keystrokes can be sent on this session, or what is missing for it.
// `waylandSession`: the compositor takes no synthetic keys from apps, and under XWayland they
// would reach X11 windows only.
enum class Synthesis { available, noDisplay, noXTest, waylandSession };

struct CopyTimedOut {};
struct CannotSynthesise {};
// The clipboard's text after the copy (empty when the new contents hold no text), or why none.
using CopyResult = std::variant<std::string, CopyTimedOut, CannotSynthesise>;

class SyntheticCopy {
public:
    virtual ~SyntheticCopy() = default;
    virtual Synthesis canSynthesise() = 0;
    // Sends the keystroke and waits up to `timeout` for the clipboard's owner to change.
    virtual CopyResult copy(std::chrono::milliseconds timeout) = 0;
};

} // namespace tarvo::desktop
