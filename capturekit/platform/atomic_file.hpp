#pragma once

// Durable whole-file replacement: after a crash or power loss the file holds either its old or
// its new contents, never a mixture or nothing.

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
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

// The whole contents of a regular file. Anything else in its place (a FIFO, a device, a symbolic
// link) is refused without waiting on it.
std::expected<std::string, std::error_code> read(const std::filesystem::path& file);

// A temporary file of an interrupted write older than this may be removed; a younger one may
// belong to a write still running in another process.
inline constexpr std::chrono::seconds abandonedTemporaryAge{60};

// When `name` has the form of write()'s temporary files (".<target>.XXXXXX"), the name of the
// file it was to replace.
std::optional<std::string_view> temporaryTarget(std::string_view name);

// Removes the file when it was last changed longer than abandonedTemporaryAge ago.
void removeIfAbandoned(const std::filesystem::path& temporary);

// Removes the temporary files that interrupted writes of `file` left in its folder.
void removeAbandonedTemporaries(const std::filesystem::path& file);

} // namespace capturekit::atomic_file
