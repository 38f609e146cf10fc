#pragma once

// Notices new images in the screenshot folder and reports each once. Three triggers: inotify on
// the folder (entries created, moved in or out, written and closed), a settle timer that turns a
// burst of events into one scan 0.6 s after the last, and a 15-second poll that catches whatever
// the events missed. A folder that does not exist yet (GNOME's Screenshots before the first
// screenshot), or was deleted, is waited for: its nearest existing parent is watched for the next
// folder on the way being made, and then the folder itself. Lives on the thread that created it
// (the main thread); onDetect is called there.

#include <desktop/model/detected_screenshot.hpp>
#include <desktop/model/window_title.hpp>

#include <capturekit/platform/date_time.hpp>

#include <QObject>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class QSocketNotifier;

namespace tarvo::desktop {

class ScreenshotWatcher final : public QObject {
    Q_OBJECT

public:
    using Detect = std::function<void(const DetectedScreenshot&)>;

    static constexpr std::chrono::milliseconds settleInterval = screenshotSettleTime;
    static constexpr std::chrono::milliseconds pollInterval{15000};

    explicit ScreenshotWatcher(Detect onDetect, WindowTitleSource title = {},
                               const capturekit::Clock& clock = capturekit::SystemClock::shared(),
                               QObject* parent = nullptr);
    ~ScreenshotWatcher() override;
    ScreenshotWatcher(const ScreenshotWatcher&) = delete;
    ScreenshotWatcher& operator=(const ScreenshotWatcher&) = delete;

    // Remembers the folder and gives a shot for every settled image in it now, in listing order.
    // The images it gives are the ones `start` on the same folder treats as already seen; one
    // still being written is reported by the watcher once it settles.
    std::vector<DetectedScreenshot> scanExisting(const std::filesystem::path& folder);
    // Watches the folder (stopping any earlier watch).
    void start(const std::filesystem::path& folder);
    // Stops watching and forgets the folder and the files seen.
    void stop();
    // Reports every settled image not seen before, and forgets files that are gone. Watches the
    // folder's events again when they were lost (the folder was deleted and is back).
    void scanForNew();

    bool isWatching() const { return folder_.has_value(); }
    const std::optional<std::filesystem::path>& folder() const { return folder_; }
    // Whether folder events are being received now (the poll runs either way).
    bool receivesEvents() const { return watch_ >= 0; }
    // Whether the folder is missing and a parent is watched for it to be made.
    bool waitsForFolder() const { return parentWatch_ >= 0; }

signals:
    // The folder was made or went away while watched.
    void folderPresenceChanged();

public:
    // The image files of the folder: regular, not hidden, with a screenshot extension in any
    // case, in listing order. Empty when the folder cannot be listed.
    static std::vector<std::filesystem::path> listCandidates(const std::filesystem::path& folder);

private:
    void watchFolderEvents();
    void watchParent(const std::filesystem::path& parent);
    void forgetParent();
    bool leadsToFolder(std::string_view name) const;
    void forgetFolderEvents();
    void readFolderEvents();
    void scheduleScan(std::chrono::milliseconds delay);

    Detect onDetect_;
    WindowTitleSource title_;
    const capturekit::Clock* clock_;
    std::optional<std::filesystem::path> folder_;
    // Paths as the file system spells them; hashing beats comparing paths component by component.
    std::unordered_set<std::string> knownFiles_;
    // What scanExisting last gave, for `start` to take as seen.
    std::optional<std::filesystem::path> scannedFolder_;
    std::unordered_set<std::string> scannedFiles_;
    int inotify_ = -1;
    int watch_ = -1;
    int parentWatch_ = -1;
    std::filesystem::path watchedParent_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer settleTimer_;
    QTimer pollTimer_;
};

} // namespace tarvo::desktop
