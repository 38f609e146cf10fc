#include <capturekit/platform/resource_bundle.hpp>

#include <capturekit/platform/url.hpp>

#include <system_error>

#ifndef TARVO_BUILD_BIN_DIR
#define TARVO_BUILD_BIN_DIR ""
#endif

namespace capturekit {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> executableFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return std::nullopt;
    }
    return executable.parent_path();
}

bool isFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

const std::optional<ResourceBundle>& ResourceBundle::main() {
    static const std::optional<ResourceBundle> bundle = locate(searchFolders());
    return bundle;
}

std::vector<fs::path> ResourceBundle::searchFolders() {
    std::vector<fs::path> folders;
    if (auto folder = executableFolder()) {
        // Installed: PREFIX/share/tarvo-capture, beside PREFIX/bin; in a build: beside the program.
        folders.push_back(folder->parent_path() / "share" / "tarvo-capture");
        folders.push_back(std::move(*folder));
    }
    if (const fs::path buildBin = TARVO_BUILD_BIN_DIR; !buildBin.empty()) {
        folders.push_back(buildBin);
    }
    return folders;
}

std::optional<ResourceBundle> ResourceBundle::locate(std::span<const fs::path> folders) {
    for (const fs::path& folder : folders) {
        fs::path candidate = folder / name;
        if (isFolder(candidate)) {
            return ResourceBundle(std::move(candidate));
        }
    }
    return std::nullopt;
}

std::optional<fs::path> ResourceBundle::path(std::string_view resource, std::string_view extension,
                                             std::string_view subdirectory) const {
    fs::path file = folder_ / subdirectory / resource;
    file += ".";
    file += extension;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return std::nullopt;
    }
    return file;
}

std::optional<std::string> ResourceBundle::url(std::string_view resource,
                                               std::string_view extension,
                                               std::string_view subdirectory) const {
    const auto file = path(resource, extension, subdirectory);
    if (!file) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(*file, error);
    return fileURL(error ? *file : absolute);
}

std::string fileURL(const fs::path& absolutePath) {
    return "file://" + url::encodePath(absolutePath.lexically_normal().string());
}

} // namespace capturekit
