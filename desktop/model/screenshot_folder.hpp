#pragma once

// Where the person's screenshot tool saves, which is the folder the watcher watches. The folder
// may not exist yet (GNOME makes Pictures/Screenshots with the first screenshot); the watcher
// waits for it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

// The folder override setting when it holds a non-empty path (a leading tilde expanded), else
// desktopScreenshotFolder().
std::filesystem::path screenshotFolder(const std::optional<std::string>& folderOverride);

// The folder the session's screenshot tool saves into, the first that applies of:
// - GNOME, Unity, Budgie and Cinnamon (XDG_CURRENT_DESKTOP): Pictures/Screenshots, existing or
//   not;
// - KDE: Spectacle's configured folder, else Pictures/Screenshots (Spectacle's default since
//   Plasma 6; under Plasma 5 only when it exists), else Pictures;
// - Flameshot's configured save path; on Xfce, xfce4-screenshooter's last folder;
// - Pictures/Screenshots when it exists, else Pictures when it exists, else the desktop folder.
// Pictures and the desktop folder are the XDG user folders (user-dirs.dirs), so they carry the
// person's own names for them.
std::filesystem::path desktopScreenshotFolder();

// Whether the folder is there yet; the watcher watches one that is not for its creation.
bool screenshotFolderExists(const std::filesystem::path& folder);

// The folder as people read it: "~/…" inside the home folder, else the full path.
std::string displayedFolder(const std::filesystem::path& folder);

// "~" and "~/…" name the home folder, "~user/…" that user's home; other paths are kept.
std::filesystem::path expandingTilde(std::string_view path);

// The save folders the screenshot tools keep in their settings files, as local paths; absent when
// the text names none (or only a remote location):
// spectaclerc: [ImageSave] imageSaveLocation, or the older [General] default-save-location;
std::optional<std::filesystem::path> spectacleSaveFolder(std::string_view configuration);
// flameshot.ini (written by QSettings): [General] savePath;
std::optional<std::filesystem::path> flameshotSaveFolder(std::string_view configuration);
// xfce4-screenshooter's settings: screenshot_dir, the folder it last saved into.
std::optional<std::filesystem::path> xfceScreenshooterFolder(std::string_view configuration);

} // namespace tarvo::desktop
