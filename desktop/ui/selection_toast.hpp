#pragma once

// The toast that shows a captured selection for the six seconds in which it can be taken back:
// "Captured from APP", the text, "Undo" (with the key that undoes from the keyboard), and a bar
// running down in 0.1-second steps. 340 × 120, 20 pixels from the bottom-right corner of the
// available area of the person's screen, above other windows; it never takes the keyboard focus
// from the person's program, and a screen reader hears it as an alert. It only shows and reports
// Undo; the wait and the send are the model's.

#include <desktop/model/selection_panels.hpp>
#include <desktop/platform/frontmost_app.hpp>

#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;

namespace tarvo::desktop {

class SelectionToastView final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds tick{100};

    SelectionToastView(const QString& text, const std::optional<QString>& sourceApp,
                       const std::optional<QString>& undoKey, std::chrono::milliseconds seconds,
                       std::function<void()> onUndo, QWidget* parent = nullptr);

    // What the toast shows of a capture: its start, and when there is more, "…" and how long the
    // whole is.
    static QString shownText(const QString& text);

    std::chrono::milliseconds remaining() const { return remaining_; }

private:
    void countDown();

    std::chrono::milliseconds seconds_;
    std::chrono::milliseconds remaining_;
    QProgressBar* bar_ = nullptr;
    QTimer ticker_;
};

class SelectionToastController final : public QObject, public SelectionToastPanel {
    Q_OBJECT

public:
    static constexpr int panelWidth = 340;
    static constexpr int panelHeight = 120;
    static constexpr std::chrono::milliseconds undoWindow{6000};

    // On the screen of `frontmost`'s window when given, else on the primary screen.
    explicit SelectionToastController(std::chrono::milliseconds shownFor = undoWindow,
                                      const FrontmostApp* frontmost = nullptr,
                                      QObject* parent = nullptr);
    ~SelectionToastController() override;

    // Shows the capture, replacing what a showing toast holds and restarting its time.
    void show(const QString& text, const std::optional<QString>& sourceApp,
              const std::optional<QString>& undoKey, std::function<void()> onUndo) override;
    void dismiss() override;

    bool isShowing() const;
    QWidget* panel() const { return panel_.get(); }
    SelectionToastView* view() const { return view_; }

private:
    void place();

    std::chrono::milliseconds shownFor_;
    const FrontmostApp* frontmost_;
    std::unique_ptr<QWidget> panel_;
    SelectionToastView* view_ = nullptr;
    QTimer dismissTimer_;
};

} // namespace tarvo::desktop
