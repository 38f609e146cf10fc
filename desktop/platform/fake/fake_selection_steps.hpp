#pragma once

// In-memory selection-capture steps for the model's tests: a scripted selection, a clipboard whose
// copy the test decides, held keys that let go after a number of looks, processes that do or do
// not hold a terminal, and a capture thread that runs each job at once on the caller's thread.

#include <desktop/platform/capture_thread.hpp>
#include <desktop/platform/clipboard_store.hpp>
#include <desktop/platform/modifier_state.hpp>
#include <desktop/platform/selected_text.hpp>
#include <desktop/platform/synthetic_copy.hpp>
#include <desktop/platform/terminal_probe.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tarvo::desktop::fake {

// The focused element's selection (`accessible`) and role: with neither set, accessibility finds
// no focused element.
class FakeSelectedText final : public SelectedText {
public:
    bool busOn = true;
    std::optional<std::string> accessible;
    std::optional<AccessibleFocus::Role> role;
    std::optional<std::string> primary;
    // The program whose window the accessibility bus says is active.
    std::optional<ActiveWindow> active;
    // The frontmost program each primary read was asked about.
    std::vector<std::optional<ActiveWindow>> primaryAskedFor;

    bool accessibilityOn() override { return busOn; }
    std::optional<AccessibleFocus> accessibleFocus(const std::optional<ActiveWindow>&) override {
        if (!busOn || (!accessible && !role)) {
            return std::nullopt;
        }
        return AccessibleFocus{role.value_or(AccessibleFocus::Role::other),
                               accessible.value_or("")};
    }
    std::optional<std::string> primarySelection(const std::optional<ActiveWindow>& app) override {
        primaryAskedFor.push_back(app);
        return primary;
    }
    std::optional<ActiveWindow> activeWindow() override { return active; }
};

// The clipboard and the program in front: `answer` is what the program copies (none: it ignores
// the keystroke).
class FakeClipboard final : public ClipboardStore, public SyntheticCopy {
public:
    std::vector<ClipboardItem> items;
    std::optional<std::string> answer;
    Synthesis synthesis = Synthesis::available;
    int keystrokes = 0;
    int restores = 0;

    std::vector<ClipboardItem> snapshot() override { return items; }
    std::uint64_t changeCount() override { return changes_; }
    void restore(std::vector<ClipboardItem> saved) override {
        ++restores;
        items = std::move(saved);
        ++changes_;
    }
    Synthesis canSynthesise() override { return synthesis; }
    CopyResult copy(std::chrono::milliseconds) override {
        if (synthesis != Synthesis::available) {
            return CannotSynthesise{};
        }
        ++keystrokes;
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

// Every process holds no terminal unless told otherwise; `holds` absent: none can be looked at.
class FakeTerminalProbe final : public TerminalProbe {
public:
    std::optional<bool> holds = false;
    std::optional<bool> holdsTerminal(const ActiveWindow&) override { return holds; }
};

class InlineCaptureThread final : public CaptureThread {
public:
    void post(std::function<void()> job) override { job(); }
};

} // namespace tarvo::desktop::fake
