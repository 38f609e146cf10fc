#pragma once

// The model's panels as recorders: what they were asked to show, and a way to press their
// buttons as a person would.

#include <desktop/model/desktop_panels.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tarvo::test {

using namespace tarvo::desktop;

struct RecordingToast final : SelectionToastPanel {
    void show(const QString& text, const std::optional<QString>& app,
              const std::optional<QString>& key, std::function<void()> undo) override {
        shown.push_back(text.toStdString());
        sourceApp = app;
        undoKey = key;
        onUndo = std::move(undo);
    }
    void dismiss() override { ++dismissed; }

    std::vector<std::string> shown;
    std::optional<QString> sourceApp;
    std::optional<QString> undoKey;
    std::function<void()> onUndo;
    int dismissed = 0;
};

struct RecordingQuickEntry final : QuickEntryPanel {
    void setSend(QuickEntrySend sendText) override { send = std::move(sendText); }
    void show() override { showing = true; }
    void close() override { showing = false; }
    bool isShowing() const override { return showing; }

    QuickEntrySend send;
    bool showing = false;
};

struct RecordingConfirmPanel final : ScreenshotConfirmPanel {
    void setActions(Actions buttons) override { actions = std::move(buttons); }
    void show(const DetectedScreenshot& shot, int remaining,
              const std::optional<std::string>& nameHint) override {
        showing = shot;
        shownRemaining = remaining;
        shownHint = nameHint;
    }
    void hide() override { showing.reset(); }

    Actions actions;
    std::optional<DetectedScreenshot> showing;
    int shownRemaining = -1;
    std::optional<std::string> shownHint;
};

struct RecordingPanels {
    RecordingToast toast;
    RecordingQuickEntry quickEntry;
    RecordingConfirmPanel confirm;

    DesktopPanels panels() { return {toast, quickEntry, confirm}; }
};

} // namespace tarvo::test
