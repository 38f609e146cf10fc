#include <desktop/platform/autostart_login_item.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/paths.hpp>
#include <capturekit/platform/text.hpp>

#include <QFile>
#include <QSettings>

#include <system_error>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

// Panels start late at login; a tray app started before its panel finds no tray yet.
constexpr int startDelaySeconds = 3;

} // namespace

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
           "X-GNOME-Autostart-enabled=true\n"
           "X-GNOME-Autostart-Delay=" +
           std::to_string(startDelaySeconds) + "\n";
}

bool AutostartLoginItem::canHold(const std::string& path) {
    if (path.empty() || !text::isValidUTF8(path)) {
        return false;
    }
    for (const char32_t codePoint : text::codePoints(path)) {
        if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
            return false;
        }
    }
    return true;
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
    if (!canHold(executable_.string())) {
        return std::unexpected("the app’s path has a control character or invalid UTF-8");
    }
    std::error_code error;
    std::filesystem::create_directories(entry_.parent_path(), error);
    if (error) {
        return std::unexpected(error.message());
    }
    // A link in the entry's place is replaced, never written through.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(entry_, error))) {
        std::filesystem::remove(entry_, error);
    }
    if (auto written = atomic_file::write(entry_, entryText(executable_), 0644); !written) {
        return std::unexpected(written.error().message());
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
