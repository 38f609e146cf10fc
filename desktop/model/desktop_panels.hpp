#pragma once

// The floating panels the model drives; the app hands it the widgets, the tests recording fakes.

#include <desktop/model/screenshot_confirm_panel.hpp>
#include <desktop/model/selection_panels.hpp>

namespace tarvo::desktop {

struct DesktopPanels {
    SelectionToastPanel& toast;
    QuickEntryPanel& quickEntry;
    ScreenshotConfirmPanel& confirm;
};

} // namespace tarvo::desktop
