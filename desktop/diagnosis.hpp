#pragma once

// `tarvo-capture-desktop --diagnose`: what this session offers the app, in a few plain lines — the
// session and desktop, the tray, the hot keys, the ways to read selected text, the keyring, the
// screenshot folder, the backend and the outbox. Looks, never changes anything.

#include <desktop/platform/desktop_session.hpp>

#include <QMap>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace tarvo::desktop {

class Diagnosis {
public:
    // Prints the lines with its own application object; 0 whatever it finds.
    static int run(int argc, char** argv);
    // Needs the application object; the session is absent where there is no display at all.
    static std::vector<std::string> lines(const std::optional<DesktopSession>& session);

    static std::string sessionLine(const std::optional<DesktopSession>& session);
    static std::string hotkeyLine(const std::optional<DesktopSession>& session);
    static std::string trayLine();
    static std::string selectionLine(const std::optional<DesktopSession>& session);
    static std::string keyringLine();
    static std::string screenshotFolderLine();
    static std::string backendLine();
    static std::string outboxLine();

private:
    static std::string portalLine();
    static std::string assignedTriggers(const QMap<QString, QString>& triggers);
};

} // namespace tarvo::desktop
