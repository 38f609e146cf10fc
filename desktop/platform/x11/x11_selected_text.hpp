#pragma once

// The selection read without the clipboard on X11: the focused accessible element through AT-SPI,
// else the PRIMARY selection, but only while a window of the frontmost program owns it, so another
// program's stale selection is never taken.

#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/x11/atspi_selection.hpp>
#include <desktop/platform/x11/x11_selection_reader.hpp>

namespace tarvo::desktop {

class X11SelectedText final : public SelectedText {
public:
    // `resourceMask` is the X server's client resource-id mask: two windows whose ids agree outside
    // it were made by one connection.
    X11SelectedText(X11Connection& connection, unsigned long resourceMask)
        : connection_(connection), reader_(connection), atspi_(connection),
          resourceMask_(resourceMask) {}

    bool accessibilityOn() override { return atspi_.busIsOn(); }
    std::optional<AccessibleFocus>
    accessibleFocus(const std::optional<ActiveWindow>& app) override {
        return atspi_.read(app);
    }
    // Absent when the frontmost window is unknown.
    std::optional<std::string> primarySelection(const std::optional<ActiveWindow>& app) override;
    // The accessibility reads, for the Wayland steps that build on these.
    AtspiSelection& accessibility() { return atspi_; }

private:
    bool ownedBy(unsigned long owner, const ActiveWindow& app);
    long windowPid(unsigned long window);

    X11Connection& connection_;
    X11SelectionReader reader_;
    AtspiSelection atspi_;
    unsigned long resourceMask_;
};

} // namespace tarvo::desktop
