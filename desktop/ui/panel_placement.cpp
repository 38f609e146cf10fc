#include <desktop/ui/panel_placement.hpp>

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

namespace tarvo::desktop::PanelPlacement {

namespace {

std::optional<QRect> availableArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? std::optional(screen->availableGeometry()) : std::nullopt;
}

} // namespace

std::optional<QPoint> bottomRight(QSize size, int margin) {
    return availableArea().transform([&](const QRect& area) {
        return QPoint(area.right() + 1 - margin - size.width(),
                      area.bottom() + 1 - margin - size.height());
    });
}

std::optional<QPoint> topCentre(QSize size, int distance) {
    return availableArea().transform([&](const QRect& area) {
        return QPoint(area.left() + (area.width() - size.width()) / 2, area.top() + distance);
    });
}

std::optional<QPoint> centre(QSize size) {
    return availableArea().transform([&](const QRect& area) {
        return area.center() - QPoint(size.width() / 2, size.height() / 2);
    });
}

} // namespace tarvo::desktop::PanelPlacement
