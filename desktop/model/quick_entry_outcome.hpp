#pragma once

// What became of one quick-entry text: the model's answer to the quick-entry panel.

#include <string>

namespace tarvo::desktop {

struct QuickEntryOutcome {
    enum class Kind { queued, failed, sent };
    Kind kind = Kind::sent;
    std::string reason; // for queued and failed

    static QuickEntryOutcome queued(std::string reason) {
        return {Kind::queued, std::move(reason)};
    }
    static QuickEntryOutcome failed(std::string reason) {
        return {Kind::failed, std::move(reason)};
    }
    static QuickEntryOutcome sent() { return {Kind::sent, {}}; }
    bool operator==(const QuickEntryOutcome&) const = default;
};

} // namespace tarvo::desktop
