#pragma once

// Durable whole-file replacement: after a crash or power loss the file holds either its old or
// its new contents, never a mixture or nothing.

#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace capturekit::atomic_file {

// Writes `contents` to a temporary file in the same folder, gives it `mode`, flushes it to disk,
// renames it over `file` and flushes the folder. The folder must exist. A failure before the
// rename leaves `file` unchanged and no temporary file behind; a failure to flush the folder is
// reported too, although the new contents are then already in place.
std::expected<void, std::error_code> write(const std::filesystem::path& file,
                                           std::string_view contents, mode_t mode = 0600);

// The whole contents of a regular file.
std::expected<std::string, std::error_code> read(const std::filesystem::path& file);

} // namespace capturekit::atomic_file
