// A bare Qt tray program: an icon in the tray and nothing else. bench/desktop_startup measures
// the tray app beside it, so the figures say what the app adds to what Qt itself costs.

#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap glyph(22, 22);
    glyph.fill(Qt::darkGray);
    QSystemTrayIcon tray{QIcon(glyph)};
    tray.show();
    return QApplication::exec();
}
