#pragma once

// Where the floating panels go, in logical pixels on a screen's available area (the screen less
// the desktop's panels): the screen of the window the person works in, else the primary one.
// Absent when there is no screen.

#include <desktop/platform/frontmost_app.hpp>

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <vector>

class QScreen;

namespace tarvo::desktop::PanelPlacement {

// Which of the screens (their geometry in the window system's pixels) holds the middle of the
// window; absent when none does.
std::optional<std::size_t> screenHolding(const WindowBounds& window,
                                         const std::vector<QRect>& screens);
// The screen of the frontmost window, else the primary screen.
QScreen* screenOfFrontmost(const FrontmostApp& frontmost);

// `margin` from the right and bottom edges.
std::optional<QPoint> bottomRight(QSize size, int margin, const QScreen* screen = nullptr);
// Centred across, `distance` below the top edge.
std::optional<QPoint> topCentre(QSize size, int distance, const QScreen* screen = nullptr);
// Centred both ways.
std::optional<QPoint> centre(QSize size, const QScreen* screen = nullptr);

} // namespace tarvo::desktop::PanelPlacement
