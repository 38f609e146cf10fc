#pragma once

// The role a screen reader hears for a widget whose own class says too little: panels are
// windows or dialogs rather than fillers, the toast and the sign-in error are alerts, a separator
// is a separator. `installAccessibleRoles` must run before the first widget is shown.

#include <QAccessible>

class QWidget;

namespace tarvo::desktop {

void installAccessibleRoles();
void setAccessibleRole(QWidget& widget, QAccessible::Role role);
// Tells assistive technologies that the alert widget has something new to say.
void announceAlert(QWidget& widget);

} // namespace tarvo::desktop
