#include <desktop/platform/wayland/wayland_selection_services.hpp>

#include <desktop/platform/desktop_log.hpp>

namespace tarvo::desktop {

WaylandSelectionServices::WaylandSelectionServices() {
    x11_.thread().post([] {
        const auto protocol = DataControlPrimary::ofSession().protocol(
            std::chrono::steady_clock::now() + primaryReadLimit);
        desktopLog(LogCategory::selection)
            .notice(protocol ? "The primary selection is read through " +
                                   std::string(DataControlPrimary::describe(*protocol)) + "."
                             : std::string("The compositor offers no data-control protocol: the "
                                           "primary selection of Wayland programs is not read."));
    });
}

SelectionSteps WaylandSelectionServices::steps() {
    auto steps = x11_.steps();
    return {selectedText_, steps.clipboard, steps.copy,     steps.modifiers,
            steps.sleeper, steps.thread,    steps.terminals};
}

std::unique_ptr<SelectionServices> selectionServicesFor(const DesktopSession& session) {
    if (session.allowsX11Grabs()) {
        return std::make_unique<X11SelectionServices>();
    }
    return std::make_unique<WaylandSelectionServices>();
}

} // namespace tarvo::desktop
