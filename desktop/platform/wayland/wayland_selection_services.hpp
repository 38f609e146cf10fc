#pragma once

// The selection capture's steps in a Wayland session (XWayland included): the X11 steps, which
// serve the X11 windows of XWayland and send no copy keystroke, with the selected text read as
// Wayland allows.

#include <desktop/platform/desktop_session.hpp>
#include <desktop/platform/selection_services.hpp>
#include <desktop/platform/wayland/wayland_selected_text.hpp>
#include <desktop/platform/x11/x11_selection_services.hpp>

#include <memory>

namespace tarvo::desktop {

class WaylandSelectionServices final : public SelectionServices {
public:
    // Logs, from the capture thread, which data-control protocol the compositor offers.
    WaylandSelectionServices();

    SelectionSteps steps() override;

private:
    X11SelectionServices x11_{true};
    WaylandSelectedText selectedText_{x11_.selectedText(), DataControlPrimary::ofSession()};
};

// X11's steps where X11 is the whole session, else these.
std::unique_ptr<SelectionServices> selectionServicesFor(const DesktopSession& session);

} // namespace tarvo::desktop
