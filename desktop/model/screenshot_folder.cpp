#include <desktop/model/screenshot_folder.hpp>

#include <capturekit/platform/paths.hpp>
#include <capturekit/platform/text.hpp>

#include <QStandardPaths>
#include <QString>
#include <QUrl>

#include <pwd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace tarvo::desktop {

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

enum class Desktop { gnomeFamily, kde, xfce, other };

// The first entry of XDG_CURRENT_DESKTOP (most specific first, ":"-separated) that names a
// desktop whose screenshot tool is known: "ubuntu:GNOME", "Budgie:GNOME" and "X-Cinnamon" are of
// the GNOME family.
Desktop sessionDesktop() {
    const char* variable = std::getenv("XDG_CURRENT_DESKTOP");
    std::istringstream entries(text::lowercased(variable != nullptr ? variable : ""));
    for (std::string entry; std::getline(entries, entry, ':');) {
        for (const char* gnome : {"gnome", "unity", "budgie", "cinnamon"}) {
            if (entry.find(gnome) != std::string::npos) {
                return Desktop::gnomeFamily;
            }
        }
        if (entry.find("kde") != std::string::npos) {
            return Desktop::kde;
        }
        if (entry.find("xfce") != std::string::npos) {
            return Desktop::xfce;
        }
    }
    return Desktop::other;
}

long long plasmaVersion() {
    const char* version = std::getenv("KDE_SESSION_VERSION");
    return text::parseInteger(version != nullptr ? version : "").value_or(0);
}

std::optional<fs::path> homeOf(const std::string& user) {
    if (user.empty()) {
        return paths::home();
    }
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return std::nullopt;
    }
    return fs::path(found->pw_dir);
}

fs::path standardLocation(QStandardPaths::StandardLocation location) {
    return fs::path(QStandardPaths::writableLocation(location).toStdString());
}

bool isFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::optional<fs::path> localPathOf(std::string_view value) {
    const std::string trimmed = text::trimmed(value);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    if (trimmed.starts_with("file:")) {
        const QUrl url(QString::fromStdString(trimmed));
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            return std::nullopt;
        }
        return fs::path(url.toLocalFile().toStdString());
    }
    if (trimmed.find("://") != std::string::npos) {
        return std::nullopt; // a remote location
    }
    return expandingTilde(trimmed);
}

// The first value of `key` in `group` ("[Name]"; any group when absent) of an INI-style text.
std::optional<std::string> settingIn(std::string_view configuration,
                                     std::optional<std::string_view> group, std::string_view key) {
    std::istringstream lines{std::string(configuration)};
    std::string current;
    for (std::string line; std::getline(lines, line);) {
        line = text::trimmed(line);
        if (line.starts_with('[')) {
            current = line;
            continue;
        }
        const auto equals = line.find('=');
        if (equals != std::string::npos && (!group || current == *group) &&
            text::trimmed(std::string_view(line).substr(0, equals)) == key) {
            return line.substr(equals + 1);
        }
    }
    return std::nullopt;
}

// A string as QSettings writes it into an INI file: in double quotes when it has to be, with
// backslash escapes; characters outside Latin-1 as "\x" and up to four hexadecimal digits.
std::string fromQSettings(std::string_view value) {
    std::string plain;
    for (std::size_t index = 0; index < value.size(); ++index) {
        const char c = value[index];
        if (c == '"') {
            continue;
        }
        if (c != '\\' || index + 1 == value.size()) {
            plain += c;
            continue;
        }
        const char escaped = value[++index];
        if (escaped == 'x') {
            char32_t codePoint = 0;
            for (int digits = 0; digits < 4 && index + 1 < value.size() &&
                                 std::isxdigit(static_cast<unsigned char>(value[index + 1]));
                 ++digits) {
                const char digit = value[++index];
                codePoint =
                    codePoint * 16 + (digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10);
            }
            text::appendCodePoint(plain, codePoint);
        } else {
            plain += escaped == 'n'   ? '\n'
                     : escaped == 't' ? '\t'
                     : escaped == 'r' ? '\r'
                                      : escaped;
        }
    }
    return text::validUTF8(plain);
}

// A screenshot tool's settings file under the configuration folder, read by `folderIn`.
std::optional<fs::path> configuredFolder(const fs::path& file,
                                         std::optional<fs::path> (*folderIn)(std::string_view)) {
    std::ifstream stream(paths::configHome() / file);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << stream.rdbuf();
    return folderIn(text.str());
}

std::optional<fs::path> toolFolder(Desktop desktop) {
    if (auto flameshot = configuredFolder("flameshot/flameshot.ini", flameshotSaveFolder)) {
        return flameshot;
    }
    if (desktop == Desktop::xfce) {
        return configuredFolder("xfce4/xfce4-screenshooter", xfceScreenshooterFolder);
    }
    return std::nullopt;
}

} // namespace

fs::path expandingTilde(std::string_view path) {
    if (!path.starts_with('~')) {
        return fs::path(path);
    }
    const auto slash = path.find('/');
    const std::string user(path.substr(1, slash == std::string_view::npos ? path.npos : slash - 1));
    const auto home = homeOf(user);
    if (!home) {
        return fs::path(path);
    }
    if (slash == std::string_view::npos) {
        return *home;
    }
    return *home / fs::path(path.substr(slash + 1));
}

std::optional<fs::path> spectacleSaveFolder(std::string_view configuration) {
    if (const auto value = settingIn(configuration, "[ImageSave]", "imageSaveLocation")) {
        if (auto folder = localPathOf(*value)) {
            return folder;
        }
    }
    const auto older = settingIn(configuration, "[General]", "default-save-location");
    return older ? localPathOf(*older) : std::nullopt;
}

std::optional<fs::path> flameshotSaveFolder(std::string_view configuration) {
    const auto value = settingIn(configuration, "[General]", "savePath");
    return value ? localPathOf(fromQSettings(*value)) : std::nullopt;
}

std::optional<fs::path> xfceScreenshooterFolder(std::string_view configuration) {
    const auto value = settingIn(configuration, std::nullopt, "screenshot_dir");
    return value ? localPathOf(*value) : std::nullopt;
}

fs::path desktopScreenshotFolder() {
    const fs::path pictures = standardLocation(QStandardPaths::PicturesLocation);
    const fs::path screenshots = pictures / "Screenshots";
    const Desktop desktop = sessionDesktop();
    if (desktop == Desktop::gnomeFamily) {
        return screenshots;
    }
    if (desktop == Desktop::kde) {
        if (auto spectacle = configuredFolder("spectaclerc", spectacleSaveFolder)) {
            return *spectacle;
        }
        return plasmaVersion() >= 6 || isFolder(screenshots) ? screenshots : pictures;
    }
    if (auto configured = toolFolder(desktop)) {
        return *configured;
    }
    if (isFolder(screenshots)) {
        return screenshots;
    }
    if (isFolder(pictures)) {
        return pictures;
    }
    const fs::path desktopFolder = standardLocation(QStandardPaths::DesktopLocation);
    return desktopFolder.empty() ? paths::home() / "Desktop" : desktopFolder;
}

fs::path screenshotFolder(const std::optional<std::string>& folderOverride) {
    if (folderOverride && !folderOverride->empty()) {
        return expandingTilde(*folderOverride);
    }
    return desktopScreenshotFolder();
}

bool screenshotFolderExists(const fs::path& folder) {
    return isFolder(folder);
}

std::string displayedFolder(const fs::path& folder) {
    const fs::path normal = folder.lexically_normal();
    const fs::path inside = normal.lexically_relative(paths::home().lexically_normal());
    std::string shown = normal.native();
    if (!inside.empty() && *inside.begin() != "..") {
        shown = inside == "." ? "~" : "~/" + inside.native();
    }
    if (shown.size() > 1 && shown.ends_with('/')) {
        shown.pop_back();
    }
    return text::validUTF8(shown);
}

} // namespace tarvo::desktop
