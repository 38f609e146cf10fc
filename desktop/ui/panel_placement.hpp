#pragma once

// Where the floating panels go, in logical pixels on the primary screen's available area (the
// screen less the desktop's panels). Absent when there is no screen.

#include <QPoint>
#include <QSize>

#include <optional>

namespace tarvo::desktop::PanelPlacement {

// `margin` from the right and bottom edges.
std::optional<QPoint> bottomRight(QSize size, int margin);
// Centred across, `distance` below the top edge.
std::optional<QPoint> topCentre(QSize size, int distance);
// Centred both ways.
std::optional<QPoint> centre(QSize size);

} // namespace tarvo::desktop::PanelPlacement
