#include <desktop/platform/system_folder_opener.hpp>

#include <QDesktopServices>
#include <QUrl>

namespace tarvo::desktop {

bool SystemFolderOpener::openFolder(const std::filesystem::path& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

bool SystemFolderOpener::openWebPage(const std::string& url) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme();
    if (!address.isValid() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return false;
    }
    return QDesktopServices::openUrl(address);
}

} // namespace tarvo::desktop
