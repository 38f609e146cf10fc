#include <desktop/ui/tray_controller.hpp>

#include <desktop/platform/desktop_log.hpp>
#include <desktop/ui/menu_window.hpp>
#include <desktop/ui/tray_icons.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/application_info.hpp>

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace tarvo::desktop {

using namespace std::chrono_literals;

namespace {

// How long a menu asked for right after start waits for the tray host to place the icon: 1.5 s.
constexpr int placementWaitLimit = 15;
constexpr auto placementWaitStep = 100ms;
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

bool watcherOnBus() {
    const auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    const auto registered = bus.interface()->isServiceRegistered(watcherService);
    return registered.isValid() && registered.value();
}

QList<QImage> iconSizes(const QIcon& icon) {
    QList<QImage> sizes;
    for (const int side : {16, 22, 32, 48, 64}) {
        sizes.push_back(icon.pixmap(side, side).toImage());
    }
    return sizes;
}

} // namespace

TrayController::TrayController(ScreenshotController& screenshots, MenuWindow& menu,
                               std::chrono::milliseconds trayWait, QObject* parent)
    : QObject(parent), screenshots_(screenshots), menu_(menu), qtIconOnDBus_(watcherOnBus()),
      watcherPresent_(qtIconOnDBus_), watcher_(watcherService, QDBusConnection::sessionBus(),
                                               QDBusServiceWatcher::WatchForRegistration |
                                                   QDBusServiceWatcher::WatchForUnregistration),
      item_(QString::fromStdString(capturekit::application::identifier()),
            QStringLiteral("tarvo Capture")) {
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this,
            &TrayController::watcherAppeared);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &TrayController::watcherLeft);
    connect(&item_, &StatusNotifierItem::activated, this, &TrayController::toggleMenu);
    tray_.setToolTip(QStringLiteral("tarvo Capture"));
    updateIcon();
    connect(&screenshots_, &ScreenshotController::changed, this, &TrayController::updateIcon);
    connect(&tray_, &QSystemTrayIcon::activated, this, &TrayController::activated);

    // A tray that is there already is taken at once; otherwise it is looked for twice a second.
    look_.setInterval(500ms);
    connect(&look_, &QTimer::timeout, this, &TrayController::lookForTray);
    fallback_.setSingleShot(true);
    fallback_.setInterval(trayWait);
    connect(&fallback_, &QTimer::timeout, this, [this] {
        desktopLog(LogCategory::tray)
            .notice("No system tray appeared; the menu is shown as a window.");
        look_.setInterval(2s);
        menu_.showAsWindow();
    });
    lookForTray();
    if (!hasTray()) {
        look_.start();
        fallback_.start();
    }
}

bool TrayController::hasTray() const {
    return item_.isPublished() || (tray_.isVisible() && (!qtIconOnDBus_ || watcherPresent_));
}

void TrayController::lookForTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    tray_.show();
    adoptTray();
}

void TrayController::adoptTray() {
    look_.stop();
    fallback_.stop();
    emit trayShown();
}

void TrayController::watcherAppeared() {
    watcherPresent_ = true;
    if (qtIconOnDBus_) {
        // Qt's own item registers again with a watcher that restarted.
        desktopLog(LogCategory::tray).notice("The StatusNotifierWatcher is back.");
        adoptTray();
        return;
    }
    if (!item_.publish()) {
        return;
    }
    desktopLog(LogCategory::tray)
        .notice("A StatusNotifierWatcher appeared; the icon is now its StatusNotifierItem.");
    // The icon shows in the panel only: an XEmbed icon as well would show it twice.
    tray_.hide();
    adoptTray();
    // The panel's icon takes over from the menu's stand-in window.
    if (menu_.isVisible() && !menu_.isPopup()) {
        menu_.hide();
    }
}

void TrayController::watcherLeft() {
    watcherPresent_ = false;
    item_.withdraw();
    if (hasTray()) {
        return;
    }
    desktopLog(LogCategory::tray)
        .notice("The StatusNotifierWatcher left; the menu is shown as a window.");
    tray_.hide();
    menu_.showAsWindow();
    look_.setInterval(2s);
    look_.start();
}

void TrayController::updateIcon() {
    const bool capturing = screenshots_.isEnabled();
    const QIcon icon =
        TrayIcons::icon(capturing, capturekit::CaptureConfig::environment().isStaging());
    const QString tip = capturing ? QStringLiteral("tarvo Capture — capturing screenshots")
                                  : QStringLiteral("tarvo Capture");
    tray_.setIcon(icon);
    tray_.setToolTip(tip);
    item_.setIcon(iconSizes(icon));
    item_.setToolTip(tip);
}

void TrayController::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context &&
        reason != QSystemTrayIcon::DoubleClick) {
        return;
    }
    toggleMenu();
}

void TrayController::toggleMenu() {
    if (menu_.isVisible() && menu_.isPopup()) {
        menu_.hide();
        return;
    }
    if (!menu_.justClosedByFocusLoss()) {
        showMenu();
    }
}

void TrayController::showMenu() {
    if (!hasTray()) {
        menu_.showAsWindow();
        return;
    }
    if (item_.isPublished()) {
        // A D-Bus item has no geometry of its own; the panel was just clicked.
        menu_.popUpAt(QCursor::pos());
        return;
    }
    // Right after start the tray host may not have placed the icon yet: its geometry is empty or
    // still at the screen's origin. Wait for it a little before settling for what there is.
    const QRect icon = tray_.geometry();
    const bool placed = icon.isValid() && !icon.topLeft().isNull();
    if (!placed && placementWaits_ < placementWaitLimit) {
        ++placementWaits_;
        QTimer::singleShot(placementWaitStep, this, &TrayController::showMenu);
        return;
    }
    placementWaits_ = 0;
    menu_.popUpAt(icon.isValid() ? QPoint(icon.center().x(), icon.bottom()) : QCursor::pos());
}

} // namespace tarvo::desktop
