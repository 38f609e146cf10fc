#include <desktop/model/screenshot_folder.hpp>

#include <capturekit/platform/paths.hpp>
#include <capturekit/platform/text.hpp>

#include <QStandardPaths>
#include <QString>
#include <QUrl>

#include <pwd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace tarvo::desktop {

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

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

std::optional<fs::path> configuredSpectacleFolder() {
    std::ifstream file(paths::configHome() / "spectaclerc");
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return spectacleSaveFolder(text.str());
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
    std::istringstream lines{std::string(configuration)};
    std::string group;
    std::optional<fs::path> older;
    for (std::string line; std::getline(lines, line);) {
        line = text::trimmed(line);
        if (line.starts_with('[')) {
            group = line;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = text::trimmed(std::string_view(line).substr(0, equals));
        const std::string_view value = std::string_view(line).substr(equals + 1);
        if (group == "[ImageSave]" && key == "imageSaveLocation") {
            if (auto folder = localPathOf(value)) {
                return folder;
            }
        } else if (group == "[General]" && key == "default-save-location") {
            older = localPathOf(value);
        }
    }
    return older;
}

fs::path desktopScreenshotFolder() {
    const fs::path gnome = standardLocation(QStandardPaths::PicturesLocation) / "Screenshots";
    std::error_code error;
    if (fs::is_directory(gnome, error)) {
        return gnome;
    }
    if (auto spectacle = configuredSpectacleFolder()) {
        return *spectacle;
    }
    const fs::path desktop = standardLocation(QStandardPaths::DesktopLocation);
    return desktop.empty() ? paths::home() / "Desktop" : desktop;
}

fs::path screenshotFolder(const std::optional<std::string>& folderOverride) {
    if (folderOverride && !folderOverride->empty()) {
        return expandingTilde(*folderOverride);
    }
    return desktopScreenshotFolder();
}

} // namespace tarvo::desktop
