#include <desktop/app_shell.hpp>

#include <desktop/platform/desktop_log.hpp>
#include <desktop/platform/wayland/portal_hotkey_service.hpp>
#include <desktop/ui/window_fit.hpp>

#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/model/capture_surface.hpp>
#include <capturekit/model/raw_value.hpp>
#include <capturekit/platform/application_info.hpp>

#include <QApplication>

namespace tarvo::desktop {

using namespace capturekit;

AppShell::AppShell(const std::filesystem::path& executable, QObject* parent)
    : QObject(parent), session_(DesktopSession::current()), loginItem_(executable),
      hotkeys_(hotkeysFor(session_)), selection_(selectionServicesFor(session_)),
      confirmPanel_(&frontmostApp_), toast_(SelectionToastController::undoWindow, &frontmostApp_),
      quickEntry_(frontmostApp_), model_(services(), {toast_, quickEntry_, confirmPanel_}),
      menu_(model_),
      consent_(services(), [this](bool granted) { model_.account().recordConsent(granted); }),
      tray_(model_.screenshots(), menu_) {
    qApp->setStyleSheet(WindowFit::focusStyleSheet());
    connect(&model_.account(), &AccountController::consentNeeded, &consent_,
            &ConsentPanel::showPanel);
    connect(&menu_, &MenuWindow::consentRequested, &consent_, &ConsentPanel::showPanel);
    connect(&menu_, &MenuWindow::quitRequested, this, &AppShell::quit);
    connect(&menu_, &MenuWindow::aboutRequested, this, &AppShell::showAbout);
    connect(&model_, &CaptureMenuModel::readyToQuit, this, [] { QCoreApplication::quit(); });
}

DesktopServices AppShell::services() {
    return {loginItem_, folderOpener_, frontmostApp_, *hotkeys_, selection_->steps(), notifier_};
}

// X11 grabs only where X11 is the whole session: under XWayland they fire only while an X11
// window has focus, which would make the keys work by chance.
std::unique_ptr<HotkeyService> AppShell::hotkeysFor(const DesktopSession& session) {
    const auto& log = desktopLog(LogCategory::app);
    if (session.allowsX11Grabs()) {
        log.notice("An X11 session (" + session.reason +
                   "): global keys are X11 grabs; selected text through accessibility, PRIMARY "
                   "and the copy keystroke.");
        return std::make_unique<X11HotkeyService>();
    }
    log.notice("A " + session.kindName() + " session (" + session.reason +
               "): global keys are asked of the desktop's shortcuts portal; selected text is read "
               "through accessibility and the PRIMARY selection, never with a copy keystroke.");
    return std::make_unique<PortalHotkeyService>(QDBusConnection::sessionBus(),
                                                 QString::fromStdString(application::identifier()),
                                                 SelectionController::desktopShortcuts());
}

void AppShell::showAbout() {
    if (!about_) {
        about_ = std::make_unique<AboutWindow>();
    }
    about_->showFitted();
}

void AppShell::perform(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return;
    }
    const QString& action = arguments.front();
    if (action == QLatin1String("--open-surface") && arguments.size() > 1) {
        const auto surface = fromRawValue<CaptureSurface>(arguments[1].toStdString());
        SharedState::setPendingSurface(surface.value_or(CaptureSurface::captureIntent));
        tray_.showMenu();
    } else if (action == QLatin1String("--show-menu")) {
        tray_.showMenu();
    } else if (action == QLatin1String("--capture-selection")) {
        model_.selection().captureSelection();
    } else if (action == QLatin1String("--quick-entry")) {
        model_.selection().showQuickEntry();
    } else {
        desktopLog(LogCategory::app).notice("Ignored the action " + action.toStdString() + ".");
    }
}

void AppShell::quit() {
    model_.finishPendingOnQuit();
}

} // namespace tarvo::desktop
