#pragma once

// Folders and web pages shown by the desktop's own file browser and web browser.

#include <desktop/platform/folder_opener.hpp>

namespace tarvo::desktop {

class SystemFolderOpener final : public FolderOpener {
public:
    bool openFolder(const std::filesystem::path& folder) override;
    bool openWebPage(const std::string& url) override;
};

} // namespace tarvo::desktop
