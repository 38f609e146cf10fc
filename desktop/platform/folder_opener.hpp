#pragma once

// Shows a folder or a web page in the desktop's own programs.

#include <filesystem>
#include <string>

namespace tarvo::desktop {

class FolderOpener {
public:
    virtual ~FolderOpener() = default;
    // The folder in the file browser; false when no program took it.
    virtual bool openFolder(const std::filesystem::path& folder) = 0;
    // An http(s) address in the browser; false when no program took it.
    virtual bool openWebPage(const std::string& url) = 0;
};

} // namespace tarvo::desktop
