#include <desktop/ui/tray_controller.hpp>

#include <desktop/platform/desktop_log.hpp>
#include <desktop/ui/menu_window.hpp>
#include <desktop/ui/tray_icons.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/application_info.hpp>

#include <QCursor>

namespace tarvo::desktop {

using namespace std::chrono_literals;

namespace {

// How long a menu asked for right after start waits for the tray host to place the icon: 1.5 s.
constexpr int placementWaitLimit = 15;
constexpr auto placementWaitStep = 100ms;

} // namespace

TrayController::TrayController(ScreenshotController& screenshots, MenuWindow& menu,
                               std::chrono::milliseconds trayWait, QObject* parent)
    : QObject(parent), screenshots_(screenshots), menu_(menu) {
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

void TrayController::lookForTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    look_.stop();
    fallback_.stop();
    tray_.show();
    emit trayShown();
}

void TrayController::updateIcon() {
    const bool capturing = screenshots_.isEnabled();
    tray_.setIcon(TrayIcons::icon(capturing, capturekit::CaptureConfig::environment().isStaging()));
    tray_.setToolTip(capturing ? QStringLiteral("tarvo Capture — capturing screenshots")
                               : QStringLiteral("tarvo Capture"));
}

void TrayController::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context &&
        reason != QSystemTrayIcon::DoubleClick) {
        return;
    }
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
