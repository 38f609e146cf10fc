#pragma once

// The tray icon and where the menu opens. When the desktop has no tray at start (GNOME without
// the extension, or an autostart before the panel), the controller waits for one for
// `trayWait`, then shows the menu as a small normal window; it keeps looking, and adopts the
// tray as soon as one appears. A StatusNotifierWatcher (the D-Bus tray of KDE Plasma, waybar,
// GNOME's AppIndicator extension) is watched for all along: one that appears later gets the app's
// own StatusNotifierItem, and one that leaves brings the menu window back.

#include <desktop/model/screenshot_controller.hpp>
#include <desktop/platform/status_notifier_item.hpp>

#include <QDBusServiceWatcher>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>

namespace tarvo::desktop {

class MenuWindow;

class TrayController : public QObject {
    Q_OBJECT
public:
    TrayController(ScreenshotController& screenshots, MenuWindow& menu,
                   std::chrono::milliseconds trayWait = std::chrono::seconds(10),
                   QObject* parent = nullptr);

    // Brings the menu forward: under the tray icon when there is one, else as a window.
    void showMenu();
    bool hasTray() const;

signals:
    // The icon is in the tray (at start or adopted later).
    void trayShown();

private:
    void lookForTray();
    void watcherAppeared();
    void watcherLeft();
    void adoptTray();
    void toggleMenu();
    void activated(QSystemTrayIcon::ActivationReason reason);
    void updateIcon();

    ScreenshotController& screenshots_;
    MenuWindow& menu_;
    QSystemTrayIcon tray_;
    // Whether Qt's own icon went over D-Bus: Qt chose so at start, with a watcher on the bus.
    bool qtIconOnDBus_ = false;
    bool watcherPresent_ = false;
    QDBusServiceWatcher watcher_;
    StatusNotifierItem item_;
    QTimer look_;
    QTimer fallback_;
    int placementWaits_ = 0;
};

} // namespace tarvo::desktop
