#pragma once

// The hot key's keys as the keyboard holds them now. Called on the selection-capture thread only.

#include <chrono>

namespace tarvo::desktop {

class ModifierState {
public:
    virtual ~ModifierState() = default;
    // Whether Control, Alt, Super, Shift or a hot-key letter is held down.
    virtual bool anyHeld() = 0;
    // Releases the keys still held, so a keystroke sent next is read without them.
    virtual void releaseHeld() = 0;
};

} // namespace tarvo::desktop
