#pragma once

// The confirm panel as the model sees it: it shows the first waiting screenshot with the count
// behind it, and hides when nothing waits. The widget implements it in desktop/ui.

#include <desktop/model/desktop_uploader.hpp>
#include <desktop/model/detected_screenshot.hpp>

#include <functional>
#include <optional>
#include <string>

namespace tarvo::desktop {

class ScreenshotConfirmPanel {
public:
    // The panel's four buttons.
    struct Actions {
        std::function<void(DesktopUploader::Route)> onSend;
        std::function<void()> onSkip;
        std::function<void()> onSendAll;
        std::function<void()> onSkipAll;
    };

    virtual ~ScreenshotConfirmPanel() = default;
    // Set once by the controller that owns the queue.
    virtual void setActions(Actions actions) = 0;
    virtual void show(const DetectedScreenshot& shot, int remaining,
                      const std::optional<std::string>& nameHint) = 0;
    virtual void hide() = 0;
};

} // namespace tarvo::desktop
