#pragma once

// The selection read without the clipboard in a Wayland session: the focused accessible element
// through AT-SPI, else the primary selection. The primary selection comes from X11 while an X11
// window of XWayland is in front (only when that window's program owns it), else through the
// compositor's data-control protocol. A Wayland client cannot learn which program owns the primary
// selection, so that one may have been made in another program earlier.

#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/wayland/data_control_primary.hpp>
#include <desktop/platform/x11/x11_selected_text.hpp>

namespace tarvo::desktop {

class WaylandSelectedText final : public SelectedText {
public:
    WaylandSelectedText(X11SelectedText& x11, DataControlPrimary dataControl)
        : x11_(x11), dataControl_(std::move(dataControl)) {}

    bool accessibilityOn() override { return x11_.accessibilityOn(); }
    std::optional<AccessibleFocus>
    accessibleFocus(const std::optional<ActiveWindow>& app) override {
        return x11_.accessibleFocus(app);
    }
    std::optional<std::string> primarySelection(const std::optional<ActiveWindow>& app) override;
    std::optional<ActiveWindow> activeWindow() override {
        return x11_.accessibility().activeWindow();
    }

private:
    X11SelectedText& x11_;
    DataControlPrimary dataControl_;
};

} // namespace tarvo::desktop
