#pragma once

// The small pieces the menu's rows are made of.

#include <desktop/ui/accessible_role.hpp>
#include <desktop/ui/plain_label.hpp>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QSignalBlocker>

namespace tarvo::desktop::MenuRows {

// A wrapped line in a smaller font under a switch.
inline QLabel* note(const QString& text, QWidget* parent) {
    auto* label = plainLabel(text, parent);
    label->setWordWrap(true);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    label->setFont(small);
    return label;
}

inline QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    setAccessibleRole(*line, QAccessible::Separator);
    return line;
}

// A line that is there only while it has something to say.
inline void showText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

// Follows the model without reporting the change back to it.
inline void setChecked(QCheckBox* box, bool checked) {
    const QSignalBlocker quiet(box);
    box->setChecked(checked);
}

} // namespace tarvo::desktop::MenuRows
