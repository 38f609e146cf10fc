#include <desktop/ui/window_fit.hpp>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace tarvo::desktop::WindowFit {

namespace {

// Before a window is mapped its frame is unknown; a title bar and borders are about this large.
constexpr int titleBarRoom = 40;
constexpr int borderRoom = 8;

} // namespace

QScreen* screenAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

QRect usableArea(const QWidget& window, const QScreen& screen) {
    const QRect area = screen.availableGeometry();
    if ((window.windowFlags() & Qt::FramelessWindowHint) != 0) {
        return area;
    }
    return area.adjusted(borderRoom, titleBarRoom, -borderRoom, -borderRoom);
}

QSize bounded(QSize wanted, const QRect& area) {
    return {std::min(wanted.width(), area.width()), std::min(wanted.height(), area.height())};
}

QPoint inside(const QRect& frame, const QRect& area) {
    const int x =
        std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
    const int y =
        std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

void fitAndCentre(QWidget& window, QScreen* screen) {
    if (screen == nullptr) {
        screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect area = usableArea(window, *screen);
    window.setMaximumSize(area.size());
    window.resize(bounded(window.sizeHint().expandedTo(window.minimumSizeHint()), area));
    QRect frame(QPoint(), window.size());
    frame.moveCenter(area.center());
    window.move(inside(frame, area));
}

void showFocusAtOnce(QWidget& window) {
    window.setAttribute(Qt::WA_KeyboardFocusChange);
}

QString focusStyleSheet() {
    return QStringLiteral("QPushButton:flat { border: 2px solid transparent; border-radius: 3px; "
                          "padding: 3px 6px; } "
                          "QPushButton:flat:focus { border-color: palette(highlight); } "
                          "QPushButton:default { font-weight: bold; }");
}

} // namespace tarvo::desktop::WindowFit
