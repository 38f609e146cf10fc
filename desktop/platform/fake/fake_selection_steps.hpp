#pragma once

// In-memory selection-capture steps for the model's tests: a scripted selection, a clipboard whose
// copy the test decides, held keys that let go after a number of looks, and a capture thread that
// runs each job at once on the caller's thread.

#include <desktop/platform/capture_thread.hpp>
#include <desktop/platform/clipboard_store.hpp>
#include <desktop/platform/modifier_state.hpp>
#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/synthetic_copy.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tarvo::desktop::fake {

class FakeSelectedText final : public SelectedText {
public:
    std::optional<std::string> accessible;
    std::optional<std::string> primary;

    std::optional<std::string> accessibleSelection(const std::optional<ActiveWindow>&) override {
        return accessible;
    }
    std::optional<std::string> primarySelection(const ActiveWindow&) override { return primary; }
};

// The clipboard and the program in front: `answer` is what the program copies (none: it ignores
// the keystroke).
class FakeClipboard final : public ClipboardStore, public SyntheticCopy {
public:
    std::vector<ClipboardItem> items;
    std::optional<std::string> answer;
    bool trusted = true;
    std::vector<CopyKeystroke> keystrokes;
    int restores = 0;

    std::vector<ClipboardItem> snapshot() override { return items; }
    std::uint64_t changeCount() override { return changes_; }
    void restore(std::vector<ClipboardItem> saved) override {
        ++restores;
        if (!saved.empty()) {
            items = std::move(saved);
            ++changes_;
        }
    }
    bool canSynthesise() override { return trusted; }
    CopyResult copy(CopyKeystroke keystroke, std::chrono::milliseconds) override {
        if (!trusted) {
            return CannotSynthesise{};
        }
        keystrokes.push_back(keystroke);
        if (!answer) {
            return CopyTimedOut{};
        }
        items = {ClipboardItem{{{"text/plain", *answer}}}};
        ++changes_;
        return *answer;
    }

private:
    std::uint64_t changes_ = 0;
};

class FakeModifierState final : public ModifierState {
public:
    // How many more looks find the keys held.
    int heldForLooks = 0;
    int looks = 0;
    bool releasedByUs = false;

    bool anyHeld() override {
        ++looks;
        return !releasedByUs && looks <= heldForLooks;
    }
    void releaseHeld() override { releasedByUs = true; }
};

class InlineCaptureThread final : public CaptureThread {
public:
    void post(std::function<void()> job) override { job(); }
};

} // namespace tarvo::desktop::fake
