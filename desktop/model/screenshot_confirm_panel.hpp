#pragma once

// The confirm panel as the model sees it: it shows the first waiting screenshot with the count
// behind it, and hides when nothing waits. The widget implements it in desktop/ui.

#include <desktop/model/detected_screenshot.hpp>

#include <optional>
#include <string>

namespace tarvo::desktop {

class ScreenshotConfirmPanel {
public:
    virtual ~ScreenshotConfirmPanel() = default;
    virtual void show(const DetectedScreenshot& shot, int remaining,
                      const std::optional<std::string>& nameHint) = 0;
    virtual void hide() = 0;
};

} // namespace tarvo::desktop
