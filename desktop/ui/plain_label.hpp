#pragma once

// A label that shows its text as it is, never as markup: labels show file names, selected text,
// window titles, program names and server messages, any of which may look like HTML.

#include <QLabel>
#include <QString>

namespace tarvo::desktop {

inline QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

inline QLabel* plainLabel(QWidget* parent) {
    return plainLabel(QString(), parent);
}

} // namespace tarvo::desktop
