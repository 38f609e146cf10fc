#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/file_descriptor.hpp>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace capturekit::atomic_file {

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// mkostemp's six random characters.
constexpr std::size_t randomPartLength = 6;

bool isRandomPart(std::string_view text) {
    return text.size() == randomPartLength && std::ranges::all_of(text, [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

std::error_code syncFolder(const std::filesystem::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen()) {
        return lastError();
    }
    return ::fsync(fd.get()) == 0 ? std::error_code{} : lastError();
}

// Writes the temporary file completely; the caller renames or removes it.
std::error_code fillTemporary(FileDescriptor& fd, std::string_view contents, mode_t mode) {
    if (::fchmod(fd.get(), mode) != 0) {
        return lastError();
    }
    if (auto error = writeAll(fd.get(), contents)) {
        return error;
    }
    if (::fsync(fd.get()) != 0) {
        return lastError();
    }
    return fd.close();
}

} // namespace

std::expected<void, std::error_code> write(const std::filesystem::path& file,
                                           std::string_view contents, mode_t mode) {
    if (file.filename().empty()) {
        return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    }
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.isOpen()) {
        return std::unexpected(lastError());
    }
    const std::string temporary(name.data());
    std::error_code error = fillTemporary(fd, contents, mode);
    if (!error && ::rename(temporary.c_str(), file.c_str()) != 0) {
        error = lastError();
    }
    if (error) {
        ::unlink(temporary.c_str());
        return std::unexpected(error);
    }
    if (auto syncError = syncFolder(folder)) {
        return std::unexpected(syncError);
    }
    return {};
}

std::expected<std::string, std::error_code> read(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.isOpen()) {
        return std::unexpected(lastError());
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return std::unexpected(lastError());
    }
    if (!S_ISREG(status.st_mode)) {
        return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    }
    std::string contents;
    char buffer[65536];
    while (true) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(lastError());
        }
        if (count == 0) {
            return contents;
        }
        contents.append(buffer, static_cast<std::size_t>(count));
    }
}

std::optional<std::string_view> temporaryTarget(std::string_view name) {
    if (name.size() < randomPartLength + 3 || !name.starts_with('.') ||
        name[name.size() - randomPartLength - 1] != '.' ||
        !isRandomPart(name.substr(name.size() - randomPartLength))) {
        return std::nullopt;
    }
    return name.substr(1, name.size() - randomPartLength - 2);
}

void removeIfAbandoned(const std::filesystem::path& temporary) {
    std::error_code error;
    const auto modified = std::filesystem::last_write_time(temporary, error);
    if (!error &&
        modified < std::filesystem::file_time_type::clock::now() - abandonedTemporaryAge) {
        std::filesystem::remove(temporary, error);
    }
}

void removeAbandonedTemporaries(const std::filesystem::path& file) {
    const std::string target = file.filename().string();
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (temporaryTarget(name) == target) {
            removeIfAbandoned(entry->path());
        }
    }
}

} // namespace capturekit::atomic_file
