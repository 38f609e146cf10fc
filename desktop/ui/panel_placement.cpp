#include <desktop/ui/panel_placement.hpp>

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

namespace tarvo::desktop::PanelPlacement {

namespace {

std::optional<QRect> availableArea(const QScreen* screen) {
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? std::optional(screen->availableGeometry()) : std::nullopt;
}

// A screen's geometry in the window system's pixels.
QRect nativeGeometry(const QScreen& screen) {
    const qreal ratio = screen.devicePixelRatio();
    const QRect logical = screen.geometry();
    return {QPoint(qRound(logical.x() * ratio), qRound(logical.y() * ratio)),
            QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio))};
}

} // namespace

std::optional<std::size_t> screenHolding(const WindowBounds& window,
                                         const std::vector<QRect>& screens) {
    const QPoint middle(window.x + window.width / 2, window.y + window.height / 2);
    for (std::size_t index = 0; index < screens.size(); ++index) {
        if (screens[index].contains(middle)) {
            return index;
        }
    }
    return std::nullopt;
}

QScreen* screenOfFrontmost(const FrontmostApp& frontmost) {
    const auto window = frontmost.active();
    const auto bounds = window ? frontmost.bounds(*window) : std::nullopt;
    const auto screens = QGuiApplication::screens();
    if (bounds) {
        std::vector<QRect> geometries;
        for (const QScreen* screen : screens) {
            geometries.push_back(nativeGeometry(*screen));
        }
        if (const auto index = screenHolding(*bounds, geometries)) {
            return screens[static_cast<qsizetype>(*index)];
        }
    }
    return QGuiApplication::primaryScreen();
}

std::optional<QPoint> bottomRight(QSize size, int margin, const QScreen* screen) {
    return availableArea(screen).transform([&](const QRect& area) {
        return QPoint(area.right() + 1 - margin - size.width(),
                      area.bottom() + 1 - margin - size.height());
    });
}

std::optional<QPoint> topCentre(QSize size, int distance, const QScreen* screen) {
    return availableArea(screen).transform([&](const QRect& area) {
        return QPoint(area.left() + (area.width() - size.width()) / 2, area.top() + distance);
    });
}

std::optional<QPoint> centre(QSize size, const QScreen* screen) {
    return availableArea(screen).transform([&](const QRect& area) {
        return area.center() - QPoint(size.width() / 2, size.height() / 2);
    });
}

} // namespace tarvo::desktop::PanelPlacement
