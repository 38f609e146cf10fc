#pragma once

// The one-line box the quick-entry hot key opens: 440 × 92, centred, 72 pixels below the top of
// the available area of the person's screen, above other windows. It takes the keyboard focus and
// gives it back to the window that had it when it closes (Escape, or Enter on an empty box). Enter
// sends the text to docket through the model and keeps the box open for the next thought.

#include <desktop/model/selection_panels.hpp>
#include <desktop/platform/frontmost_app.hpp>

#include <QObject>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;

namespace tarvo::desktop {

class QuickEntryView final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* placeholder = "What’s on your mind?";
    static constexpr const char* caption = "Enter sends to docket’s inbox · Esc closes";

    QuickEntryView(QuickEntrySend send, std::function<void()> close, QWidget* parent = nullptr);

    // "tarvo.quickEntry.focus": the status goes and the field takes the focus.
    void focusField();
    void submit();
    bool isSending() const { return sending_; }
    QLineEdit* field() const { return field_; }
    QLabel* captionLine() const { return caption_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void setStatus(const std::optional<QString>& status);
    void finish(const QuickEntryOutcome& outcome);

    QuickEntrySend send_;
    std::function<void()> close_;
    QLineEdit* field_ = nullptr;
    QLabel* caption_ = nullptr;
    bool sending_ = false;
    QPoint dragOffset_;
};

class QuickEntryPanelController final : public QObject, public QuickEntryPanel {
    Q_OBJECT

public:
    using Outcome = QuickEntryOutcome;
    static constexpr int panelWidth = 440;
    static constexpr int panelHeight = 92;
    static constexpr int topDistance = 72;

    explicit QuickEntryPanelController(FrontmostApp& frontmost, QObject* parent = nullptr);
    ~QuickEntryPanelController() override;

    void setSend(QuickEntrySend send) override;
    // The hot key's action; a second press keeps the window remembered first.
    void show() override;
    // Hides the panel and gives the focus back to the remembered window.
    void close() override;

    bool isShowing() const override;
    QWidget* panel() const { return panel_.get(); }
    QuickEntryView* view() const { return view_; }

private:
    void build();
    void place();

    FrontmostApp& frontmost_;
    QuickEntrySend send_;
    std::optional<ActiveWindow> previousApp_;
    std::unique_ptr<QWidget> panel_;
    QuickEntryView* view_ = nullptr;
};

} // namespace tarvo::desktop
