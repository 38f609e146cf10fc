#include <desktop/ui/tray_icons.hpp>

#include <desktop/ui/qt_color.hpp>

#include <capturekit/account/environment_banner.hpp>

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace tarvo::desktop::TrayIcons {

namespace {

// The glyph with a "DEV" label across its lower half.
QPixmap markedDev(const QIcon& glyph, int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    glyph.paint(&painter, QRect(0, 0, side, side));
    const QRectF label(0, side * 0.55, side, side * 0.45);
    painter.setPen(Qt::NoPen);
    painter.setBrush(qtColor(capturekit::EnvironmentBanner::background));
    painter.drawRoundedRect(label, side * 0.1, side * 0.1);
    QFont font;
    font.setBold(true);
    font.setPixelSize(static_cast<int>(side * 0.36));
    painter.setFont(font);
    painter.setPen(qtColor(capturekit::EnvironmentBanner::foreground));
    painter.drawText(label, Qt::AlignCenter, QStringLiteral("DEV"));
    return pixmap;
}

} // namespace

QString symbolName(bool capturing) {
    return capturing ? QStringLiteral("camera.viewfinder") : QStringLiteral("camera");
}

QIcon bundled(const QString& name) {
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

QIcon icon(bool capturing, bool staging) {
    const QIcon glyph = bundled(symbolName(capturing));
    if (!staging) {
        return glyph;
    }
    QIcon marked;
    for (const int side : {16, 22, 24, 32, 44, 48, 64}) {
        marked.addPixmap(markedDev(glyph, side));
    }
    return marked;
}

QIcon applicationIcon() {
    return bundled(QStringLiteral("app"));
}

} // namespace tarvo::desktop::TrayIcons
