#pragma once

// The small floating panel that asks, one screenshot at a time, whether to send it to stash, use
// it as a person's photo in rapport, or skip it. The model owns the queue and decides when the
// panel shows and hides; the panel only shows the first shot and calls back.
//
// 320 × 260, 20 pixels from the bottom-right corner of the available area of the person's screen,
// above other windows, movable by its background. It shows without taking the keyboard from what
// the person is doing, and takes it when clicked; then Enter and Space press the focused button,
// Return elsewhere sends, Escape skips, and the focus stays put from one shot to the next.
// The preview is read and scaled on a worker, one at a time; a newer shot cancels the older one's.

#include <desktop/model/background_tasks.hpp>
#include <desktop/model/desktop_uploader.hpp>
#include <desktop/model/detected_screenshot.hpp>
#include <desktop/model/screenshot_confirm_panel.hpp>
#include <desktop/model/work_queue.hpp>
#include <desktop/platform/frontmost_app.hpp>

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvo::desktop {

class PreviewView;

// The panel's content, rebuilt for every shot.
class ConfirmPopupView final : public QWidget {
    Q_OBJECT

public:
    using Actions = ScreenshotConfirmPanel::Actions;

    static constexpr int panelWidth = 320;
    static constexpr int panelHeight = 260;
    static constexpr int previewSide = 320;

    ConfirmPopupView(const DetectedScreenshot& shot, int remaining,
                     std::optional<std::string> nameHint, Actions actions,
                     QWidget* parent = nullptr);

    const DetectedScreenshot& shot() const { return shot_; }
    // The person's choice so far, kept when the same shot is shown again.
    bool toRapport() const { return toRapport_; }
    QString person() const { return person_; }
    void restoreChoice(bool toRapport, const QString& person);
    // The decoded preview, once the worker has it.
    void setPreview(const QImage& image);
    QImage preview() const;

    // The send button's work: Return away from the buttons.
    void send();
    // Gives the focus to the control of that name, else to the send button.
    void focusControl(const QString& name);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void setToRapport(bool on);
    void refreshSendButton();
    static QPushButton* button(const QString& text, QWidget* parent);

    DetectedScreenshot shot_;
    std::optional<std::string> nameHint_;
    Actions actions_;
    bool toRapport_ = false;
    QString person_;
    QCheckBox* rapportBox_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    PreviewView* preview_ = nullptr;
    QPoint dragOffset_;
};

class ConfirmPanelController final : public QObject, public ScreenshotConfirmPanel {
    Q_OBJECT

public:
    // Placed on the screen of `frontmost`'s window when given, else on the primary screen.
    explicit ConfirmPanelController(const FrontmostApp* frontmost = nullptr,
                                    QObject* parent = nullptr);
    ~ConfirmPanelController() override;

    void setActions(Actions actions) override;
    void show(const DetectedScreenshot& shot, int remaining,
              const std::optional<std::string>& nameHint) override;
    // Orders the panel out; it is kept for the next show.
    void hide() override;

    // The panel window, once it has been shown.
    QWidget* panel() const { return panel_.get(); }
    ConfirmPopupView* view() const { return view_; }
    bool isVisible() const;

private:
    void place();
    void loadPreview(const DetectedScreenshot& shot);
    ConfirmPopupView::Actions forwardingActions();

    const FrontmostApp* frontmost_;
    ConfirmPopupView::Actions callbacks_;
    std::unique_ptr<QWidget> panel_;
    ConfirmPopupView* view_ = nullptr;
    TaskHandle previewTask_;
    // The previews' lane; it goes after the tasks, which cancel the decode running on it.
    WorkQueue previews_;
    // Last, so it goes first.
    std::unique_ptr<BackgroundTasks> tasks_;
};

} // namespace tarvo::desktop
