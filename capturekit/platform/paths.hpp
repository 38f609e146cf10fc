#pragma once

// The per-user folders of the XDG base directory layout, and the program's own folders in them.
// Folders the program creates are private to the user (mode 0700), and so are the folders of its
// own that it opens.

#include <expected>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace capturekit::paths {

// $HOME, else the password database's home folder.
std::filesystem::path home();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path dataHome();
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path configHome();

// Whether the text can name a folder of its own: not empty, not "." or "..", no "/" or NUL.
bool isPlainComponent(std::string_view name);

// Creates the folder and any missing parents with mode 0700; an existing folder is left as it is.
std::expected<std::filesystem::path, std::error_code>
ensurePrivateDirectory(const std::filesystem::path& folder);

// A folder of the program's own: created like ensurePrivateDirectory, and brought to mode 0700
// when it already exists open to other users. Its parents are left as they are.
std::expected<std::filesystem::path, std::error_code>
claimPrivateDirectory(const std::filesystem::path& folder);

// Gives an SQLite database file, and the files SQLite keeps beside it ("-wal", "-shm",
// "-journal"), mode 0600 before SQLite opens it. A missing database is created empty (a valid new
// database), because SQLite gives its side files the database's own mode. Refuses a database or
// side file that is not a regular file (SQLite would block on a FIFO) or is a symbolic link.
std::error_code restrictDatabaseFiles(const std::filesystem::path& database);

// $XDG_DATA_HOME/<name>/, claimed with claimPrivateDirectory; `name` must be a plain component.
std::expected<std::filesystem::path, std::error_code> dataDirectory(std::string_view name);

// The application's own data folder: $XDG_DATA_HOME/<application id>/.
std::expected<std::filesystem::path, std::error_code> applicationSupport();

// The container shared by the suite's programs: $XDG_DATA_HOME/<app group id>/.
std::expected<std::filesystem::path, std::error_code>
appGroupContainer(std::string_view appGroupID);

} // namespace capturekit::paths
