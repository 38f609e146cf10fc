#pragma once

// The menu's rows for the two hot keys: "Capture selected text" with its note and problems, the
// shortcut picker, and "Quick task to docket" with its note, problems and "New task".

#include <desktop/model/selection_controller.hpp>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace tarvo::desktop {

class HotkeyRows : public QWidget {
    Q_OBJECT
public:
    explicit HotkeyRows(SelectionController& selection, QWidget* parent = nullptr);

    void refresh();

signals:
    // "New task": the menu makes way for the quick-entry box.
    void newTaskRequested();

private:
    void build();

    SelectionController& selection_;
    QCheckBox* capture_ = nullptr;
    QLabel* captureNote_ = nullptr;
    QLabel* captureKey_ = nullptr;
    QLabel* captureStatus_ = nullptr;
    QLabel* keysNote_ = nullptr;
    QLabel* shortcutLabel_ = nullptr;
    QComboBox* shortcut_ = nullptr;
    QLabel* shortcutHint_ = nullptr;
    QCheckBox* quickEntry_ = nullptr;
    QLabel* quickEntryKey_ = nullptr;
    QLabel* quickEntryStatus_ = nullptr;
    QPushButton* configure_ = nullptr;
};

} // namespace tarvo::desktop
