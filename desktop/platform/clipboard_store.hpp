#pragma once

// The clipboard as the synthetic copy borrows it: every format saved before, and put back after.
// `snapshot` and `changeCount` are called on the selection-capture thread; `restore` may be called
// from any thread and never waits.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvo::desktop {

// One clipboard item: each format it offers (by the format's name) with that format's bytes.
struct ClipboardItem {
    std::map<std::string, std::string> contents;
    bool operator==(const ClipboardItem&) const = default;
};

class ClipboardStore {
public:
    virtual ~ClipboardStore() = default;
    virtual std::vector<ClipboardItem> snapshot() = 0;
    // Counts changes of the clipboard's owner; a copy that happened shows as a new count.
    virtual std::uint64_t changeCount() = 0;
    // Puts the saved items back in place of what the clipboard holds now; with no items (the
    // clipboard was empty when saved) it empties the clipboard.
    virtual void restore(std::vector<ClipboardItem> items) = 0;
};

} // namespace tarvo::desktop
