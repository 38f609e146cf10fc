#pragma once

// The library's resource folder "CaptureKit_CaptureKit" (the destination icons live in its
// "AppIcons" subfolder). It is installed beside the binaries and copied beside them in the build
// tree, so it is looked for beside the running executable first, then in the build tree's binary
// folder. The lookup runs once per process.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

class ResourceBundle {
public:
    static constexpr std::string_view name = "CaptureKit_CaptureKit";

    explicit ResourceBundle(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The bundle this process uses, found on first use (thread-safe) and kept for the life of the
    // process; absent when no search folder holds it.
    static const std::optional<ResourceBundle>& main();
    static bool mainIsFound() { return main().has_value(); }

    // The folders searched, in order: the running executable's folder, then the build tree's
    // binary folder.
    static std::vector<std::filesystem::path> searchFolders();
    // The bundle inside the first of `folders` that holds a "CaptureKit_CaptureKit" folder.
    static std::optional<ResourceBundle> locate(std::span<const std::filesystem::path> folders);

    const std::filesystem::path& folder() const { return folder_; }

    // The regular file `subdirectory/resource.extension` in the bundle; absent when it is not
    // there.
    std::optional<std::filesystem::path> path(std::string_view resource, std::string_view extension,
                                              std::string_view subdirectory) const;
    // The same file as a "file://" URL.
    std::optional<std::string> url(std::string_view resource, std::string_view extension,
                                   std::string_view subdirectory) const;

private:
    std::filesystem::path folder_;
};

// "file://" followed by the absolute path, percent-encoded.
std::string fileURL(const std::filesystem::path& absolutePath);

} // namespace capturekit
