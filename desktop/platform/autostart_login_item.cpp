#include <desktop/platform/autostart_login_item.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/paths.hpp>

#include <QFile>
#include <QSaveFile>
#include <QSettings>

#include <system_error>

namespace tarvo::desktop {

using namespace capturekit;

AutostartLoginItem::AutostartLoginItem(std::filesystem::path executable)
    : AutostartLoginItem(paths::configHome() / "autostart" /
                             (application::identifier() + ".desktop"),
                         std::move(executable)) {}

AutostartLoginItem::AutostartLoginItem(std::filesystem::path entry,
                                       std::filesystem::path executable)
    : entry_(std::move(entry)), executable_(std::move(executable)) {}

std::string AutostartLoginItem::execArgument(const std::string& path) {
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string escaped;
    bool quote = false;
    for (const char character : path) {
        quote = quote || reserved.find(character) != std::string_view::npos;
        if (character == '"' || character == '`' || character == '$' || character == '\\') {
            escaped += '\\';
        }
        escaped += character == '%' ? std::string("%%") : std::string(1, character);
    }
    if (!quote) {
        return escaped;
    }
    // Inside a string value of the entry every backslash is itself escaped once more.
    std::string value = "\"";
    for (const char character : escaped) {
        value += character == '\\' ? std::string("\\\\") : std::string(1, character);
    }
    return value + "\"";
}

std::string AutostartLoginItem::entryText(const std::filesystem::path& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=tarvo Capture\n"
           "Comment=Screenshots, selected text and quick tasks into tarvo\n"
           "Exec=" +
           execArgument(executable.string()) +
           "\n"
           "Icon=" +
           application::identifier() +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::expected<void, std::string> AutostartLoginItem::setEnabled(bool on) {
    if (!on) {
        std::error_code error;
        std::filesystem::remove(entry_, error);
        if (error) {
            return std::unexpected(error.message());
        }
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(entry_.parent_path(), error);
    if (error) {
        return std::unexpected(error.message());
    }
    QSaveFile file(QString::fromStdString(entry_.string()));
    const std::string text = entryText(executable_);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        return std::unexpected(file.errorString().toStdString());
    }
    return {};
}

bool AutostartLoginItem::isEnabled() const {
    const QString path = QString::fromStdString(entry_.string());
    if (!QFile::exists(path)) {
        return false;
    }
    QSettings entry(path, QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    const auto isTrue = [&](const char* key) {
        return entry.value(QLatin1String(key)).toString().trimmed() == QLatin1String("true");
    };
    const bool switchedOff =
        entry.value(QStringLiteral("X-GNOME-Autostart-enabled")).toString().trimmed() ==
        QLatin1String("false");
    return !isTrue("Hidden") && !switchedOff;
}

} // namespace tarvo::desktop
