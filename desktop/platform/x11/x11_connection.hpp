#pragma once

// A private connection to the X server for the selection capture, used by the capture thread
// alone, so its waits (for a selection transfer, for the clipboard's owner to change) never involve
// the app's own connection or its main thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace tarvo::desktop {

class X11Connection {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    X11Connection() = default;
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Opened on first use; null when there is no X server.
    Display* display();
    bool hasXTest();
    unsigned long atom(const char* name);
    unsigned long root();
    // An unmapped window of ours that receives selection transfers and their property changes.
    unsigned long window();

    // The first item of a window's property and how many it holds; absent when it has none.
    struct Property {
        int format = 0;
        unsigned long count = 0;
        unsigned long first = 0;
    };
    std::optional<Property> property(unsigned long window, const char* name);

    // Handles events until one that `wanted` accepts arrives (true) or the deadline passes.
    bool waitFor(const std::function<bool(const XEvent&)>& wanted, XEvent& event,
                 Deadline deadline);
    // Changes of the clipboard's owner seen so far; `clipboardChanges` first takes in every event
    // the server has sent.
    std::uint64_t clipboardChanges();
    std::uint64_t clipboardChangesSeen() const { return clipboardChanges_; }

private:
    void open();
    void handle(const XEvent& event);

    Display* display_ = nullptr;
    bool opened_ = false;
    bool xtest_ = false;
    unsigned long window_ = 0;
    unsigned long clipboard_ = 0;
    int xfixesEventBase_ = -1;
    std::uint64_t clipboardChanges_ = 0;
};

} // namespace tarvo::desktop
