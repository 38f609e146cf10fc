#pragma once

// In-memory desktop services for the model's tests: a login item that can be made to refuse, a
// folder opener that remembers what it was asked to show, and a frontmost window set by hand.

#include <desktop/platform/desktop_services.hpp>
#include <desktop/platform/fake/fake_hotkey_service.hpp>
#include <desktop/platform/fake/fake_notifier.hpp>
#include <desktop/platform/fake/fake_selection_steps.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tarvo::desktop::fake {

class FakeLoginItem final : public LoginItem {
public:
    std::expected<void, std::string> setEnabled(bool on) override {
        if (refusal) {
            return std::unexpected(*refusal);
        }
        enabled = on;
        return {};
    }
    bool isEnabled() const override { return enabled; }

    bool enabled = false;
    std::optional<std::string> refusal; // every change fails with this text
};

class FakeFolderOpener final : public FolderOpener {
public:
    bool openFolder(const std::filesystem::path& folder) override {
        folders.push_back(folder);
        return true;
    }
    bool openWebPage(const std::string& url) override {
        pages.push_back(url);
        return true;
    }

    std::vector<std::filesystem::path> folders;
    std::vector<std::string> pages;
};

class FakeFrontmostApp final : public FrontmostApp {
public:
    std::optional<ActiveWindow> active() const override { return window; }
    bool activate(const ActiveWindow& target) override {
        activated.push_back(target);
        window = target;
        return true;
    }

    std::optional<ActiveWindow> window;
    std::vector<ActiveWindow> activated;
};

// All three, ready to hand to the model.
struct FakeDesktopServices {
    FakeLoginItem loginItem;
    FakeFolderOpener folderOpener;
    FakeFrontmostApp frontmostApp;
    FakeHotkeyService hotkeys;
    FakeSelectedText selectedText;
    FakeClipboard clipboard;
    FakeModifierState modifiers;
    capturekit::ThreadSleeper sleeper;
    InlineCaptureThread captureThread;
    FakeTerminalProbe terminals;
    FakeNotifier notifier;

    DesktopServices services() {
        return {loginItem,
                folderOpener,
                frontmostApp,
                hotkeys,
                {selectedText, clipboard, clipboard, modifiers, sleeper, captureThread, terminals},
                notifier};
    }
};

} // namespace tarvo::desktop::fake
