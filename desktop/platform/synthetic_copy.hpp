#pragma once

// Sends the copy keystroke to the frontmost window and reads what it put on the clipboard. Called
// on the selection-capture thread only.

#include <chrono>
#include <string>
#include <variant>

namespace tarvo::desktop {

// Control+C, or Control+Shift+C for terminal emulators where Control+C interrupts the program.
enum class CopyKeystroke { controlC, controlShiftC };

struct CopyTimedOut {};
struct CannotSynthesise {};
// The clipboard's text after the copy (empty when the new contents hold no text), or why none.
using CopyResult = std::variant<std::string, CopyTimedOut, CannotSynthesise>;

class SyntheticCopy {
public:
    virtual ~SyntheticCopy() = default;
    // Whether keystrokes can be sent at all (the trust the capture needs).
    virtual bool canSynthesise() = 0;
    // Sends the keystroke and waits up to `timeout` for the clipboard's owner to change.
    virtual CopyResult copy(CopyKeystroke keystroke, std::chrono::milliseconds timeout) = 0;
};

} // namespace tarvo::desktop
