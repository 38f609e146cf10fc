#pragma once

// The platform steps a selection capture works through, all used on the capture thread, and the
// thread itself.

#include <desktop/platform/capture_thread.hpp>
#include <desktop/platform/clipboard_store.hpp>
#include <desktop/platform/modifier_state.hpp>
#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/synthetic_copy.hpp>
#include <desktop/platform/terminal_probe.hpp>

#include <capturekit/platform/sleeper.hpp>

namespace tarvo::desktop {

struct SelectionSteps {
    SelectedText& selectedText;
    ClipboardStore& clipboard;
    SyntheticCopy& copy;
    ModifierState& modifiers;
    capturekit::Sleeper& sleeper;
    CaptureThread& thread;
    TerminalProbe& terminals;
};

} // namespace tarvo::desktop
