// tarvo-capture-desktop: the tray app. One runs per session; a later start hands its arguments
// to the running one and ends.

#include <desktop/app_shell.hpp>
#include <desktop/diagnosis.hpp>
#include <desktop/imaging/qt_message_log.hpp>
#include <desktop/platform/instance_channel.hpp>
#include <desktop/platform/quit_signals.hpp>
#include <desktop/ui/tray_icons.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/instance_socket.hpp>

#include <QApplication>

#include <iostream>

namespace {

constexpr const char* usage =
    "usage: tarvo-capture-desktop [--show-menu | --open-surface RAW | --capture-selection | "
    "--quick-entry | --diagnose | --version]\n"
    "Starts the tarvo Capture tray app, or hands the action to the one already running.\n"
    "--diagnose says what this session offers the app: tray, hot keys, selected text, keyring.\n";

// The action of the command line, or an empty list for a plain start; absent when unusable.
std::optional<QStringList> actionOf(const QStringList& words) {
    if (words.isEmpty()) {
        return QStringList();
    }
    const QString& first = words.front();
    if (first == QLatin1String("--open-surface")) {
        return words.size() == 2 ? std::optional(words) : std::nullopt;
    }
    const bool known = first == QLatin1String("--show-menu") ||
                       first == QLatin1String("--capture-selection") ||
                       first == QLatin1String("--quick-entry");
    return known && words.size() == 1 ? std::optional(words) : std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    tarvo::desktop::logQtMessages();
    QStringList words;
    for (int index = 1; index < argc; ++index) {
        words.push_back(QString::fromLocal8Bit(argv[index]));
    }
    if (words == QStringList{QStringLiteral("--help")}) {
        std::cout << usage;
        return 0;
    }
    if (words == QStringList{QStringLiteral("--version")}) {
        std::cout << "tarvo-capture-desktop " TARVO_VERSION "\n";
        return 0;
    }
    if (words == QStringList{QStringLiteral("--diagnose")}) {
        return tarvo::desktop::Diagnosis::run(argc, argv);
    }
    const auto action = actionOf(words);
    if (!action) {
        std::cerr << usage;
        return 2;
    }
    capturekit::CaptureConfig::environment(); // a build-configuration fault stops here

    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("tarvo-capture-desktop"));
    QApplication::setApplicationDisplayName(QStringLiteral("tarvo Capture"));
    QApplication::setApplicationVersion(QStringLiteral(TARVO_VERSION));
    QApplication::setDesktopFileName(QString::fromStdString(capturekit::application::identifier()));
    QApplication::setWindowIcon(tarvo::desktop::TrayIcons::applicationIcon());

    std::unique_ptr<tarvo::desktop::InstanceChannel> channel;
    if (const auto socket = capturekit::instance::socketPath()) {
        channel = std::make_unique<tarvo::desktop::InstanceChannel>(*socket);
        switch (channel->claim(*action)) {
        case tarvo::desktop::InstanceChannel::Role::handedOn:
            return 0;
        case tarvo::desktop::InstanceChannel::Role::unanswered:
            return 1;
        case tarvo::desktop::InstanceChannel::Role::primary:
            break;
        }
    }

    tarvo::desktop::AppShell shell(QCoreApplication::applicationFilePath().toStdString());
    if (channel) {
        // A later start without arguments asks for the menu.
        QObject::connect(channel.get(), &tarvo::desktop::InstanceChannel::argumentsReceived, &shell,
                         [&shell](const QStringList& arguments) {
                             shell.perform(arguments.isEmpty()
                                               ? QStringList{QStringLiteral("--show-menu")}
                                               : arguments);
                         });
    }
    tarvo::desktop::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &tarvo::desktop::QuitSignals::received, &shell,
                     &tarvo::desktop::AppShell::quit);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &shell,
                     &tarvo::desktop::AppShell::quit);
    shell.perform(*action);
    return QApplication::exec();
}
