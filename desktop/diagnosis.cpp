#include <desktop/diagnosis.hpp>

#include <desktop/model/app_settings.hpp>
#include <desktop/model/screenshot_folder.hpp>
#include <desktop/model/selection_controller.hpp>
#include <desktop/platform/wayland/data_control_primary.hpp>
#include <desktop/platform/wayland/global_shortcuts_portal.hpp>
#include <desktop/platform/x11/accessibility_bus.hpp>
#include <desktop/platform/x11/x11_connection.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/secret_service_store.hpp>
#include <capturekit/platform/secret_store.hpp>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <iostream>

namespace tarvo::desktop {

using namespace std::chrono_literals;

namespace {

constexpr auto busLimit = 2s;
constexpr auto backendLimit = 5s;

bool onSessionBus(const char* name) {
    const auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    const auto registered = bus.interface()->isServiceRegistered(QString::fromLatin1(name));
    return registered.isValid() && registered.value();
}

bool activatableOnSessionBus(const char* name) {
    const auto bus = QDBusConnection::sessionBus();
    const auto names = bus.interface()->activatableServiceNames();
    return names.isValid() && names.value().contains(QString::fromLatin1(name));
}

} // namespace

int Diagnosis::run(int argc, char** argv) {
    // Without any display Qt's window-system plugins cannot start; the rest is still worth saying.
    const bool noDisplay =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (noDisplay) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    for (const auto& line :
         lines(noDisplay ? std::nullopt : std::optional(DesktopSession::current()))) {
        std::cout << line << '\n';
    }
    return 0;
}

std::vector<std::string> Diagnosis::lines(const std::optional<DesktopSession>& session) {
    return {sessionLine(session),   trayLine(),    hotkeyLine(session),
            selectionLine(session), keyringLine(), screenshotFolderLine(),
            backendLine(),          outboxLine()};
}

std::string Diagnosis::sessionLine(const std::optional<DesktopSession>& session) {
    if (!session) {
        return "Session: none (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    }
    return "Session: " + session->kindName() + " (" + session->reason + "), desktop " +
           (session->desktop.empty() ? "unknown (XDG_CURRENT_DESKTOP is unset)" : session->desktop);
}

std::string Diagnosis::trayLine() {
    if (onSessionBus("org.kde.StatusNotifierWatcher")) {
        return "Tray: StatusNotifierItem (org.kde.StatusNotifierWatcher is on the session bus)";
    }
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        return "Tray: XEmbed (the X11 system tray)";
    }
    return "Tray: none — the menu opens as a window; the icon moves to a tray that appears later";
}

std::string Diagnosis::hotkeyLine(const std::optional<DesktopSession>& session) {
    if (!session) {
        return "Hot keys: none — no display";
    }
    if (session->allowsX11Grabs()) {
        return "Hot keys: X11 grab";
    }
    return portalLine();
}

// Opens a session and lists what the desktop kept for the app; binds nothing, since binding may
// ask the person.
std::string Diagnosis::portalLine() {
    using State = GlobalShortcutsPortal::State;
    GlobalShortcutsPortal portal(QDBusConnection::sessionBus(),
                                 QString::fromStdString(capturekit::application::identifier()));
    QEventLoop loop;
    QObject::connect(&portal, &GlobalShortcutsPortal::changed, &loop, [&] {
        if (portal.state() != State::starting) {
            loop.quit();
        }
    });
    portal.start();
    if (portal.state() == State::starting) {
        loop.exec();
    }
    const std::string bindInstead = "; bind `tarvo-capture-desktop --capture-selection` and "
                                    "`tarvo-capture-desktop --quick-entry` in its keyboard "
                                    "settings";
    switch (portal.state()) {
    case State::ready:
        return "Hot keys: shortcuts portal version " + std::to_string(portal.version()) + " (" +
               assignedTriggers(portal.triggers()) + ")";
    case State::noAnswer:
        return "Hot keys: none — the shortcuts portal didn’t answer" + bindInstead;
    case State::absent:
        return "Hot keys: none — this desktop doesn’t let apps set global keys (no shortcuts "
               "portal)" +
               bindInstead;
    default:
        return "Hot keys: none — the shortcuts portal refused a session" + bindInstead;
    }
}

std::string Diagnosis::assignedTriggers(const QMap<QString, QString>& triggers) {
    std::string listed;
    for (const auto& shortcut : SelectionController::desktopShortcuts()) {
        const auto trigger = triggers.value(QString::fromStdString(shortcut.name));
        listed += (listed.empty() ? "" : ", ") + shortcut.name + ": " +
                  (trigger.isEmpty() ? std::string("no key assigned yet") : trigger.toStdString());
    }
    return listed;
}

std::string Diagnosis::selectionLine(const std::optional<DesktopSession>& session) {
    X11Connection x11;
    const auto bus = findAccessibilityBus(x11, busLimit);
    std::string line = "Selected text: AT-SPI bus ";
    line += bus ? "found through " + describe(*bus) : std::string("not found");
    if (!session) {
        return line;
    }
    if (session->hasX11Display()) {
        line += x11.display() != nullptr ? "; PRIMARY over X11" : "; no X server for PRIMARY";
        if (session->kind == SessionKind::xwayland) {
            line += " (X11 windows only)";
        }
    }
    if (!session->allowsX11Grabs()) {
        const auto protocol =
            DataControlPrimary::ofSession().protocol(std::chrono::steady_clock::now() + busLimit);
        line += protocol ? "; PRIMARY through data-control (" +
                               std::string(DataControlPrimary::describe(*protocol)) + ")"
                         : std::string("; no PRIMARY through data-control — the compositor offers "
                                       "neither ext-data-control-v1 nor wlr data-control v2");
    }
    if (session->allowsX11Grabs()) {
        line += x11.hasXTest() ? "; copy (Ctrl+C through XTEST)" : "; no copy (no XTEST)";
    } else {
        line += "; no copy under Wayland";
    }
    return line;
}

std::string Diagnosis::keyringLine() {
    if (capturekit::SecretStore::usesPlainFile()) {
        return "Keyring: not used — credentials are in a plain file (TARVO_SECRET_STORE=file)";
    }
    if (!capturekit::SecretServiceStore::hasSessionBus()) {
        return "Keyring: unreachable — no session bus";
    }
    if (onSessionBus("org.freedesktop.secrets")) {
        return "Keyring: the Secret Service is running";
    }
    return activatableOnSessionBus("org.freedesktop.secrets")
               ? "Keyring: the Secret Service starts when first asked"
               : "Keyring: none — no Secret Service on the session bus";
}

std::string Diagnosis::screenshotFolderLine() {
    const auto folder = screenshotFolder(AppSettings().folderOverride());
    std::error_code error;
    const bool exists = std::filesystem::is_directory(folder, error);
    return "Screenshot folder: " + folder.string() + (exists ? "" : " (missing)");
}

std::string Diagnosis::backendLine() {
    const QString base = QString::fromStdString(capturekit::CaptureConfig::endpoints().apiBase());
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(base)};
    request.setTransferTimeout(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(backendLimit).count()));
    QNetworkReply* reply = network.head(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const auto status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    std::string line = "Backend: " + base.toStdString();
    // Any HTTP answer means the server is reachable; what it says to a bare request is no fault.
    line += status.isValid() ? " answers (HTTP " + std::to_string(status.toInt()) + ")"
                             : " unreachable — " + reply->errorString().toStdString();
    reply->deleteLater();
    return line;
}

std::string Diagnosis::outboxLine() {
    return "Outbox: " + std::to_string(capturekit::CaptureOutbox::pendingCount()) + " waiting";
}

} // namespace tarvo::desktop
