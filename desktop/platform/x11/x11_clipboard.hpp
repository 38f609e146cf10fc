#pragma once

// The CLIPBOARD selection as the synthetic copy borrows it. The snapshot reads every format the
// owner offers over the capture thread's connection; the restore hands the saved formats to the
// app's main thread, where the app then owns the clipboard and serves them, or, when nothing was
// saved, leaves the clipboard without an owner, as it was.

#include <desktop/platform/clipboard_store.hpp>
#include <desktop/platform/x11/x11_selection_reader.hpp>

namespace tarvo::desktop {

class X11Clipboard final : public ClipboardStore {
public:
    explicit X11Clipboard(X11Connection& connection)
        : connection_(connection), reader_(connection) {}

    std::vector<ClipboardItem> snapshot() override;
    std::uint64_t changeCount() override { return connection_.clipboardChanges(); }
    void restore(std::vector<ClipboardItem> items) override;

    // The name a saved format is kept under; empty for targets that are not contents.
    static std::string formatName(const std::string& target, bool offersUTF8);

private:
    X11Connection& connection_;
    X11SelectionReader reader_;
};

} // namespace tarvo::desktop
