#pragma once

// Where the desktop saves screenshots, which is the folder the watcher watches.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

// The folder override setting when it holds a non-empty path (a leading tilde expanded), else
// desktopScreenshotFolder().
std::filesystem::path screenshotFolder(const std::optional<std::string>& folderOverride);

// GNOME's Pictures/Screenshots when it exists, else KDE Spectacle's configured save folder, else
// the XDG desktop folder (~/Desktop when none is configured).
std::filesystem::path desktopScreenshotFolder();

// "~" and "~/…" name the home folder, "~user/…" that user's home; other paths are kept.
std::filesystem::path expandingTilde(std::string_view path);

// The save folder of a spectaclerc text ([ImageSave] imageSaveLocation, or the older [General]
// default-save-location), as a local path; absent when it names none.
std::optional<std::filesystem::path> spectacleSaveFolder(std::string_view configuration);

} // namespace tarvo::desktop
