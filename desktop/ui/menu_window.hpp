#pragma once

// The menu: every row the person uses, in order — the staging bar (staging builds), status and
// last event, account, screenshots, AI, outbox, hot keys, launch at login, device token, About,
// Quit. Opened from the tray icon as a drop-down, or shown as a small normal window when the
// desktop has no tray; either way it fits its screen and scrolls when the rows are taller. It
// shows model fields and calls model operations only.

#include <desktop/model/capture_menu_model.hpp>

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QScreen;
class QVBoxLayout;

namespace tarvo::desktop {

class AccountRows;
class HotkeyRows;

class MenuWindow : public QWidget {
    Q_OBJECT
public:
    explicit MenuWindow(CaptureMenuModel& model, QWidget* parent = nullptr);

    // Dropped down under the tray icon at `anchor` (global coordinates).
    void popUpAt(const QPoint& anchor);
    // As a normal window, for desktops without a tray.
    void showAsWindow();
    bool isPopup() const;
    // Whether the menu closed because it lost focus within the last moment: the click on the
    // tray icon that took its focus must not open it again.
    bool justClosedByFocusLoss() const;

signals:
    void consentRequested();
    void aboutRequested();
    void quitRequested();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ensureBuilt();
    void build();
    void buildScreenshotRows(QVBoxLayout& layout);
    void buildAIRows(QVBoxLayout& layout);
    void buildOutboxRows(QVBoxLayout& layout);
    void buildSystemRows(QVBoxLayout& layout);
    void refresh();
    void refreshScreenshotRows();
    void askForFolder();
    // Sizes the window to its rows, within its screen, scrolling what does not fit.
    void fit();
    void present();
    void setFlagsKeepingGeometry(Qt::WindowFlags flags);
    void leaveFor(void (MenuWindow::*signal)());

    CaptureMenuModel& model_;
    QTimer refreshSoon_;
    bool wasActive_ = false; // since it was last shown
    QElapsedTimer sinceFocusLoss_;
    QPointer<QScreen> screen_;
    QPoint anchor_;
    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    AccountRows* account_ = nullptr;
    HotkeyRows* hotkeys_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* lastEvent_ = nullptr;
    QCheckBox* autoCapture_ = nullptr;
    QCheckBox* confirm_ = nullptr;
    QPushButton* review_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    QLabel* folderLine_ = nullptr;
    QPushButton* useDesktopFolder_ = nullptr;
    QPushButton* decideAI_ = nullptr;
    QCheckBox* useAI_ = nullptr;
    QLabel* aiOffNote_ = nullptr;
    QLabel* outboxLine_ = nullptr;
    QPushButton* tryNow_ = nullptr;
    QCheckBox* launchAtLogin_ = nullptr;
    QLabel* launchAtLoginStatus_ = nullptr;
    QPushButton* tokenToggle_ = nullptr;
    QWidget* tokenRow_ = nullptr;
    QLineEdit* tokenDraft_ = nullptr;
};

} // namespace tarvo::desktop
