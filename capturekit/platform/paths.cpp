#include <capturekit/platform/paths.hpp>

#include <capturekit/platform/application_info.hpp>

#include <cerrno>
#include <cstdlib>
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

std::expected<std::filesystem::path, std::error_code> dataDirectory(std::string_view name) {
    if (!isPlainComponent(name)) {
        return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    }
    return ensurePrivateDirectory(dataHome() / name);
}

std::expected<std::filesystem::path, std::error_code> applicationSupport() {
    return dataDirectory(application::identifier());
}

std::expected<std::filesystem::path, std::error_code>
appGroupContainer(std::string_view appGroupID) {
    return dataDirectory(appGroupID);
}

} // namespace capturekit::paths
