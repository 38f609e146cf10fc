#pragma once

// Every window fits the available area of its screen, at any scale and on small screens: a window
// is never larger than that area (less room for the window manager's frame) and never placed
// outside it. Sizes are in Qt's device-independent pixels.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QScreen;
class QWidget;

namespace tarvo::desktop::WindowFit {

// The screen under `point`, else the primary one.
QScreen* screenAt(const QPoint& point);
// The area a window may cover on `screen`: its available geometry, less the room a frame takes
// when the window has one.
QRect usableArea(const QWidget& window, const QScreen& screen);
// `wanted` shrunk to fit `area`.
QSize bounded(QSize wanted, const QRect& area);
// `frame` moved (never resized) to lie inside `area` as far as it can.
QPoint inside(const QRect& frame, const QRect& area);
// Sizes the window to its size hint within the screen's usable area and centres it there.
void fitAndCentre(QWidget& window, QScreen* screen = nullptr);
// Keyboard focus is drawn from the moment the window shows, not only after the first key press.
void showFocusAtOnce(QWidget& window);
// The app's look for focus: flat buttons (links, "Enter a device token…") show a frame when they
// have the focus, and the default button is told apart from the focused one by its bold text.
QString focusStyleSheet();

} // namespace tarvo::desktop::WindowFit
