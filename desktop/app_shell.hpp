#pragma once

// The running app: the session's desktop services, the panels, the one menu model, the menu, the
// consent panel and the tray, and what the instance channel's actions and the quit path do with
// them.

#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/autostart_login_item.hpp>
#include <desktop/platform/desktop_session.hpp>
#include <desktop/platform/freedesktop_notifier.hpp>
#include <desktop/platform/system_folder_opener.hpp>
#include <desktop/platform/wayland/wayland_selection_services.hpp>
#include <desktop/platform/x11/x11_frontmost_app.hpp>
#include <desktop/platform/x11/x11_hotkey_service.hpp>
#include <desktop/ui/about_window.hpp>
#include <desktop/ui/confirm_panel.hpp>
#include <desktop/ui/consent_panel.hpp>
#include <desktop/ui/menu_window.hpp>
#include <desktop/ui/quick_entry_panel.hpp>
#include <desktop/ui/selection_toast.hpp>
#include <desktop/ui/tray_controller.hpp>

#include <QObject>
#include <QStringList>

namespace tarvo::desktop {

class AppShell : public QObject {
    Q_OBJECT
public:
    explicit AppShell(const std::filesystem::path& executable, QObject* parent = nullptr);

    // One start's arguments: "--show-menu", "--open-surface RAW", …; nothing at all is a start
    // in the tray.
    void perform(const QStringList& arguments);
    // The quit path of the menu's Quit, SIGTERM, SIGINT and the session's end.
    void quit();

    CaptureMenuModel& model() { return model_; }

private:
    DesktopServices services();
    static std::unique_ptr<HotkeyService> hotkeysFor(const DesktopSession& session);
    void showAbout();

    DesktopSession session_;
    SystemFolderOpener folderOpener_;
    AutostartLoginItem loginItem_;
    FreedesktopNotifier notifier_;
    X11FrontmostApp frontmostApp_;
    std::unique_ptr<HotkeyService> hotkeys_;
    std::unique_ptr<SelectionServices> selection_;
    ConfirmPanelController confirmPanel_;
    SelectionToastController toast_;
    QuickEntryPanelController quickEntry_;
    CaptureMenuModel model_;
    MenuWindow menu_;
    ConsentPanel consent_;
    TrayController tray_;
    std::unique_ptr<AboutWindow> about_; // made when first asked for
};

} // namespace tarvo::desktop
