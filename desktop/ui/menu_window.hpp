#pragma once

// The menu: every row the person uses, in order — the staging bar (staging builds), status and
// last event, account, screenshots, AI, outbox, selected text, shortcut, quick task, launch at
// login, device token, Quit. Opened from the tray icon as a popup, or shown as a small normal
// window when the desktop has no tray. It shows model fields and calls model operations only.

#include <desktop/model/capture_menu_model.hpp>

#include <QElapsedTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QVBoxLayout;
class QLineEdit;
class QPushButton;

namespace tarvo::desktop {

class AccountRows;

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
    void quitRequested();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ensureBuilt();
    void build();
    void buildScreenshotRows(QVBoxLayout& layout);
    void buildAIRows(QVBoxLayout& layout);
    void buildOutboxRows(QVBoxLayout& layout);
    void buildHotkeyRows(QVBoxLayout& layout);
    void buildSystemRows(QVBoxLayout& layout);
    void refresh();
    void refreshScreenshotRows();
    void refreshHotkeyRows();
    void setFlagsKeepingGeometry(Qt::WindowFlags flags);

    CaptureMenuModel& model_;
    bool wasActive_ = false; // since it was last shown
    QElapsedTimer sinceFocusLoss_;
    AccountRows* account_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* lastEvent_ = nullptr;
    QCheckBox* autoCapture_ = nullptr;
    QCheckBox* confirm_ = nullptr;
    QPushButton* review_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    QPushButton* decideAI_ = nullptr;
    QCheckBox* useAI_ = nullptr;
    QLabel* aiOffNote_ = nullptr;
    QLabel* outboxLine_ = nullptr;
    QPushButton* tryNow_ = nullptr;
    QCheckBox* selection_ = nullptr;
    QLabel* selectionNote_ = nullptr;
    QLabel* hotkeyStatus_ = nullptr;
    QComboBox* shortcut_ = nullptr;
    QLabel* shortcutHint_ = nullptr;
    QCheckBox* quickEntry_ = nullptr;
    QLabel* quickEntryStatus_ = nullptr;
    QPushButton* newTask_ = nullptr;
    QCheckBox* launchAtLogin_ = nullptr;
    QLabel* launchAtLoginStatus_ = nullptr;
    QPushButton* tokenToggle_ = nullptr;
    QWidget* tokenRow_ = nullptr;
    QLineEdit* tokenDraft_ = nullptr;
};

} // namespace tarvo::desktop
