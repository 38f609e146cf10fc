#pragma once

// Reads the text selected in the frontmost program without touching the clipboard. Called on the
// selection-capture thread only; the calls may wait briefly for the other program.

#include <desktop/platform/frontmost_app.hpp>

#include <optional>
#include <string>

namespace tarvo::desktop {

class SelectedText {
public:
    virtual ~SelectedText() = default;
    // The selection of the focused accessible text, when the session's accessibility bus is on.
    virtual std::optional<std::string>
    accessibleSelection(const std::optional<ActiveWindow>& app) = 0;
    // The primary selection, only when the frontmost window's program owns it.
    virtual std::optional<std::string> primarySelection(const ActiveWindow& app) = 0;
};

} // namespace tarvo::desktop
