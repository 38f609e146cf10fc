#include <desktop/model/screenshot_watcher.hpp>

#include <desktop/imaging/screenshot_format.hpp>

#include <QPointer>
#include <QSocketNotifier>

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string_view>

namespace tarvo::desktop {

using namespace capturekit;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

// Entries created, written, moved and removed, and the folder itself going away.
constexpr std::uint32_t folderEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO |
                                       IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF |
                                       IN_ONLYDIR | IN_EXCL_UNLINK;

// On the nearest existing parent of a missing folder: entries made or moved in (the next folder
// on the way), and the parent itself going away.
constexpr std::uint32_t parentEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The deepest folder above `folder` that exists; absent for a relative path with none.
std::optional<fs::path> nearestExistingParent(const fs::path& folder) {
    std::error_code error;
    for (fs::path parent = folder.parent_path(); !parent.empty(); parent = parent.parent_path()) {
        if (fs::is_directory(parent, error)) {
            return parent;
        }
        if (parent == parent.root_path()) {
            break;
        }
    }
    return std::nullopt;
}

// The names of the formats the screenshot decoder reads (never HEIC: no Qt image plugin on the
// desktop reads it, so such a file could only fail again at every start).
bool isCandidateName(std::string_view name) {
    return screenshotFormatOfName(name).has_value();
}

milliseconds roundedUp(std::chrono::microseconds wait) {
    return std::chrono::ceil<milliseconds>(wait);
}

} // namespace

ScreenshotWatcher::ScreenshotWatcher(Detect onDetect, WindowTitleSource title, const Clock& clock,
                                     QObject* parent)
    : QObject(parent), onDetect_(std::move(onDetect)), title_(std::move(title)), clock_(&clock) {
    settleTimer_.setSingleShot(true);
    // A coarse timer may fire a little early, before the file counts as settled.
    settleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&settleTimer_, &QTimer::timeout, this, &ScreenshotWatcher::scanForNew);
    pollTimer_.setInterval(pollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, &ScreenshotWatcher::scanForNew);
}

ScreenshotWatcher::~ScreenshotWatcher() {
    forgetFolderEvents();
}

std::vector<fs::path> ScreenshotWatcher::listCandidates(const fs::path& folder) {
    std::vector<fs::path> candidates;
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) {
        return candidates;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr) {
            return errno == 0 ? candidates : std::vector<fs::path>{};
        }
        if (!isCandidateName(entry->d_name)) {
            continue;
        }
        fs::path file = folder / entry->d_name;
        struct stat attributes {};
        const bool regular = entry->d_type == DT_REG || (entry->d_type == DT_UNKNOWN &&
                                                         ::lstat(file.c_str(), &attributes) == 0 &&
                                                         S_ISREG(attributes.st_mode));
        if (regular) {
            candidates.push_back(std::move(file));
        }
    }
}

std::vector<DetectedScreenshot> ScreenshotWatcher::scanExisting(const fs::path& folder) {
    std::vector<DetectedScreenshot> shots;
    const Date now = clock_->now();
    scannedFiles_.clear();
    for (const fs::path& file : listCandidates(folder)) {
        if (auto shot = probeShot(file, now).shot) {
            scannedFiles_.insert(file.native());
            shots.push_back(std::move(*shot));
        }
    }
    // One look at the frontmost window for all of them, however many there are.
    const auto title = title_ && !shots.empty() ? title_() : std::nullopt;
    for (auto& shot : shots) {
        shot.frontmostWindowTitle = title;
    }
    scannedFolder_ = folder;
    return shots;
}

void ScreenshotWatcher::start(const fs::path& folder) {
    stop();
    const auto listing = listCandidates(folder);
    const bool scanned = scannedFolder_ == folder;
    const Date now = clock_->now();
    for (const fs::path& file : listing) {
        // Only what was (or could have been) handed over as existing counts as seen; a file still
        // being written is reported once it settles.
        if (scanned ? scannedFiles_.contains(file.native())
                    : probeShot(file, now).shot.has_value()) {
            knownFiles_.insert(file.native());
        }
    }
    scannedFolder_.reset();
    scannedFiles_.clear();
    folder_ = folder;
    watchFolderEvents();
    pollTimer_.start();
    if (knownFiles_.size() < listing.size()) {
        scheduleScan(settleInterval);
    }
}

void ScreenshotWatcher::stop() {
    settleTimer_.stop();
    pollTimer_.stop();
    forgetFolderEvents();
    folder_.reset();
    knownFiles_.clear();
}

void ScreenshotWatcher::scanForNew() {
    if (!folder_) {
        return;
    }
    if (watch_ < 0) {
        watchFolderEvents(); // the folder may be back
        if (watch_ >= 0) {
            emit folderPresenceChanged();
        }
    }
    const fs::path folder = *folder_;
    const auto listing = listCandidates(folder);
    const Date now = clock_->now();
    std::optional<std::chrono::microseconds> nextSettle;
    std::vector<DetectedScreenshot> settled;
    for (const fs::path& file : listing) {
        if (knownFiles_.contains(file.native())) {
            continue;
        }
        auto probe = probeShot(file, now);
        if (probe.settlesIn) {
            nextSettle = std::min(nextSettle.value_or(*probe.settlesIn), *probe.settlesIn);
        }
        if (probe.shot) {
            knownFiles_.insert(file.native());
            settled.push_back(std::move(*probe.shot));
        }
    }
    // Offered in the order they were taken, not the folder's listing order.
    std::ranges::stable_sort(settled, takenBefore);
    // One look at the frontmost window serves the whole batch: it is the same window for all.
    const auto title = title_ && !settled.empty() ? title_() : std::nullopt;
    QPointer<ScreenshotWatcher> alive(this);
    for (auto& shot : settled) {
        shot.frontmostWindowTitle = title;
        if (onDetect_) {
            onDetect_(shot);
        }
        // The callback may have stopped this watcher, started it elsewhere or deleted it.
        if (!alive || folder_ != folder) {
            return;
        }
    }
    std::unordered_set<std::string> listed;
    listed.reserve(listing.size());
    for (const fs::path& file : listing) {
        listed.insert(file.native());
    }
    std::erase_if(knownFiles_, [&](const std::string& known) { return !listed.contains(known); });
    if (nextSettle) {
        scheduleScan(roundedUp(*nextSettle) + milliseconds(5));
    }
}

void ScreenshotWatcher::scheduleScan(milliseconds delay) {
    settleTimer_.start(delay);
}

void ScreenshotWatcher::watchFolderEvents() {
    if (!folder_) {
        return;
    }
    if (inotify_ < 0) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0) {
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this,
                &ScreenshotWatcher::readFolderEvents);
    }
    // Each round moves the parent watch down one made folder; the depth of the path bounds it.
    for (auto parts = std::distance(folder_->begin(), folder_->end()); parts >= 0; --parts) {
        watch_ = ::inotify_add_watch(inotify_, folder_->c_str(), folderEvents);
        if (watch_ >= 0) {
            forgetParent();
            return;
        }
        const auto parent = nearestExistingParent(*folder_);
        if (!parent) {
            forgetParent(); // the poll alone
            return;
        }
        if (parentWatch_ < 0 || *parent != watchedParent_) {
            watchParent(*parent);
        }
        // The next folder on the way may have been made before the watch took.
        if (parentWatch_ < 0 || nearestExistingParent(*folder_) == parent) {
            return;
        }
    }
}

void ScreenshotWatcher::watchParent(const fs::path& parent) {
    forgetParent();
    parentWatch_ = ::inotify_add_watch(inotify_, parent.c_str(), parentEvents);
    if (parentWatch_ >= 0) {
        watchedParent_ = parent;
    }
}

void ScreenshotWatcher::forgetParent() {
    if (parentWatch_ >= 0) {
        ::inotify_rm_watch(inotify_, parentWatch_);
    }
    parentWatch_ = -1;
    watchedParent_.clear();
}

// Whether an entry of the watched parent is the next folder on the way to the watched folder.
bool ScreenshotWatcher::leadsToFolder(std::string_view name) const {
    const fs::path rest = folder_ ? folder_->lexically_relative(watchedParent_) : fs::path();
    return !rest.empty() && rest.begin()->native() == name;
}

void ScreenshotWatcher::forgetFolderEvents() {
    notifier_.reset();
    if (inotify_ >= 0) {
        ::close(inotify_);
    }
    inotify_ = -1;
    watch_ = -1;
    parentWatch_ = -1;
    watchedParent_.clear();
}

void ScreenshotWatcher::readFolderEvents() {
    const bool hadFolder = watch_ >= 0;
    alignas(inotify_event) std::array<char, 16384> buffer{};
    constexpr std::uint32_t gone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;
    bool relevant = false;
    bool lookAgain = false; // for the folder, or the parent to wait on
    for (;;) {
        const ssize_t length = ::read(inotify_, buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) { // its watch descriptor is -1
                relevant = lookAgain = true;
            } else if ((event->mask & gone) != 0 && event->wd == watch_) {
                // The folder went away or moved: wait for it to be back.
                ::inotify_rm_watch(inotify_, watch_);
                watch_ = -1;
                relevant = lookAgain = true;
            } else if (event->wd == parentWatch_) {
                lookAgain = lookAgain || (event->mask & gone) != 0 ||
                            (event->len > 0 && leadsToFolder(event->name));
            } else if (event->len > 0 && isCandidateName(event->name)) {
                relevant = true;
            }
        }
    }
    if (lookAgain && folder_ && watch_ < 0) {
        std::error_code error;
        if (parentWatch_ >= 0 && !fs::is_directory(watchedParent_, error)) {
            forgetParent(); // gone itself: wait on its parent
        }
        watchFolderEvents();
        // Images may have been saved into the folder before its watch took.
        relevant = relevant || watch_ >= 0;
    }
    if (relevant && folder_) {
        scheduleScan(settleInterval);
    }
    if (hadFolder != (watch_ >= 0)) {
        emit folderPresenceChanged();
    }
}

} // namespace tarvo::desktop
