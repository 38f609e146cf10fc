#include <capturekit/platform/paths.hpp>

#include <capturekit/platform/application_info.hpp>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace capturekit::paths {

namespace {

std::filesystem::path absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

std::filesystem::path baseFolder(const char* variable, const char* fallbackUnderHome) {
    auto folder = absoluteVariable(variable);
    return folder.empty() ? home() / fallbackUnderHome : folder;
}

std::error_code makeFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        // mkdir applies the umask; an unusual umask must not leave the folder without owner
        // access, nor can it widen it.
        ::chmod(folder.c_str(), 0700);
        return {};
    }
    if (errno != EEXIST) {
        return {errno, std::generic_category()};
    }
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        return {errno, std::generic_category()};
    }
    if (!S_ISDIR(status.st_mode)) {
        return std::make_error_code(std::errc::not_a_directory);
    }
    return {};
}

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Takes group and other access away from a regular file. Opened without following a link and
// without blocking, so a FIFO or a link in its place is refused rather than waited on. A file
// that cannot be changed (another user's) is left as it is.
std::error_code restrictFile(const std::filesystem::path& file, int createFlag) {
    const int fd =
        ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | createFlag, 0600);
    if (fd < 0) {
        return lastError();
    }
    struct stat status {};
    std::error_code error;
    if (::fstat(fd, &status) != 0) {
        error = lastError();
    } else if (!S_ISREG(status.st_mode)) {
        error = std::make_error_code(std::errc::invalid_argument);
    } else if ((status.st_mode & 077) != 0) {
        ::fchmod(fd, status.st_mode & 0700);
    }
    ::close(fd);
    return error;
}

} // namespace

std::filesystem::path home() {
    auto folder = absoluteVariable("HOME");
    if (!folder.empty()) {
        return folder;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return "/";
}

std::filesystem::path dataHome() {
    return baseFolder("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path configHome() {
    return baseFolder("XDG_CONFIG_HOME", ".config");
}

bool isPlainComponent(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::expected<std::filesystem::path, std::error_code>
ensurePrivateDirectory(const std::filesystem::path& folder) {
    if (folder.empty()) {
        return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    }
    std::filesystem::path partial;
    for (const auto& part : folder.lexically_normal()) {
        partial /= part;
        if (part.empty() || partial == partial.root_path()) {
            continue;
        }
        if (auto error = makeFolder(partial)) {
            return std::unexpected(error);
        }
    }
    return folder;
}

std::expected<std::filesystem::path, std::error_code>
claimPrivateDirectory(const std::filesystem::path& folder) {
    auto made = ensurePrivateDirectory(folder);
    struct stat status {};
    if (made && ::stat(folder.c_str(), &status) == 0 && (status.st_mode & 077) != 0) {
        ::chmod(folder.c_str(), status.st_mode & 0700);
    }
    return made;
}

std::error_code restrictDatabaseFiles(const std::filesystem::path& database) {
    if (auto error = restrictFile(database, O_CREAT)) {
        return error;
    }
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const auto error = restrictFile(database.string() + suffix, 0);
        if (error && error != std::errc::no_such_file_or_directory) {
            return error;
        }
    }
    return {};
}

std::expected<std::filesystem::path, std::error_code> dataDirectory(std::string_view name) {
    if (!isPlainComponent(name)) {
        return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    }
    return claimPrivateDirectory(dataHome() / name);
}

std::expected<std::filesystem::path, std::error_code> applicationSupport() {
    return dataDirectory(application::identifier());
}

std::expected<std::filesystem::path, std::error_code>
appGroupContainer(std::string_view appGroupID) {
    return dataDirectory(appGroupID);
}

} // namespace capturekit::paths
