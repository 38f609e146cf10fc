#pragma once

// The selection capture's steps on X11, with their private X connection and the thread they run
// on. Made on the main thread; the steps are then used on the capture thread alone.

#include <desktop/platform/proc_terminal_probe.hpp>
#include <desktop/platform/selection_services.hpp>
#include <desktop/platform/x11/glib_capture_thread.hpp>
#include <desktop/platform/x11/x11_clipboard.hpp>
#include <desktop/platform/x11/x11_connection.hpp>
#include <desktop/platform/x11/x11_modifier_state.hpp>
#include <desktop/platform/x11/x11_selected_text.hpp>
#include <desktop/platform/x11/x11_synthetic_copy.hpp>

namespace tarvo::desktop {

class X11SelectionServices final : public SelectionServices {
public:
    // In a Wayland session (XWayland included) the steps send no copy keystroke.
    explicit X11SelectionServices(bool waylandSession = false);

    X11SelectedText& selectedText() { return selectedText_; }
    ClipboardStore& clipboard() { return clipboard_; }
    SyntheticCopy& copy() { return copy_; }
    ModifierState& modifiers() { return modifiers_; }
    CaptureThread& thread() { return thread_; }
    SelectionSteps steps() override {
        return {selectedText_, clipboard_, copy_, modifiers_, capturekit::ThreadSleeper::shared(),
                thread_,       terminals_};
    }

private:
    X11Connection connection_;
    X11SelectedText selectedText_;
    X11Clipboard clipboard_;
    X11SyntheticCopy copy_;
    X11ModifierState modifiers_;
    ProcTerminalProbe terminals_;
    // Last, so it ends before the connection its jobs use is closed.
    GlibCaptureThread thread_;
};

} // namespace tarvo::desktop
