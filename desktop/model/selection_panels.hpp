#pragma once

// The two panels the hot keys drive, as the model sees them: the toast that offers Undo for a
// captured selection, and the quick-entry box. The widgets implement these in desktop/ui.

#include <desktop/model/quick_entry_outcome.hpp>

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace tarvo::desktop {

class SelectionToastPanel {
public:
    virtual ~SelectionToastPanel() = default;
    // Shows the capture for the undo window, replacing what a showing toast holds. The undo key,
    // when there is one, is named on the toast.
    virtual void show(const QString& text, const std::optional<QString>& sourceApp,
                      const std::optional<QString>& undoKey, std::function<void()> onUndo) = 0;
    virtual void dismiss() = 0;
};

// Sends one trimmed text and reports its outcome on the main thread.
using QuickEntrySend =
    std::function<void(const std::string& text, std::function<void(QuickEntryOutcome)> done)>;

class QuickEntryPanel {
public:
    virtual ~QuickEntryPanel() = default;
    // What Enter does with the text; set once by the controller that owns the sends.
    virtual void setSend(QuickEntrySend send) = 0;
    virtual void show() = 0;
    // Hides the box and gives the focus back to the window that had it.
    virtual void close() = 0;
    virtual bool isShowing() const = 0;
};

} // namespace tarvo::desktop
