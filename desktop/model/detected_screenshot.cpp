#include <desktop/model/detected_screenshot.hpp>

#include <capturekit/platform/text.hpp>

#include <fcntl.h>
#include <sys/stat.h>

namespace tarvo::desktop {

using namespace capturekit;
using std::chrono::duration_cast;

namespace {

Date dateOf(const struct statx_timestamp& stamp) {
    return Date(std::chrono::seconds(stamp.tv_sec) +
                duration_cast<Date::duration>(std::chrono::nanoseconds(stamp.tv_nsec)));
}

} // namespace

std::string DetectedScreenshot::fileName() const {
    return text::validUTF8(url.filename().native());
}

std::string screenshotFingerprint(const std::filesystem::path& file, Date modified,
                                  std::int64_t size) {
    // duration_cast truncates toward zero, also before 1970.
    const auto seconds = duration_cast<std::chrono::seconds>(modified.time_since_epoch()).count();
    return text::validUTF8(file.native()) + "|" + std::to_string(seconds) + "|" +
           std::to_string(size);
}

bool isStillOnDisk(std::string_view fingerprint) {
    const auto sizeBar = fingerprint.rfind('|');
    const auto timeBar = sizeBar == std::string_view::npos || sizeBar == 0
                             ? std::string_view::npos
                             : fingerprint.rfind('|', sizeBar - 1);
    if (timeBar == std::string_view::npos) {
        return false;
    }
    const std::filesystem::path file(fingerprint.substr(0, timeBar));
    struct statx attributes {};
    if (::statx(AT_FDCWD, file.c_str(), AT_SYMLINK_NOFOLLOW, STATX_SIZE | STATX_MTIME,
                &attributes) != 0) {
        return false;
    }
    const auto size = static_cast<std::int64_t>(attributes.stx_size);
    return screenshotFingerprint(file, dateOf(attributes.stx_mtime), size) == fingerprint;
}

ShotProbe probeShot(const std::filesystem::path& file, Date now) {
    struct statx attributes {};
    constexpr unsigned int wanted = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
    if (::statx(AT_FDCWD, file.c_str(), AT_SYMLINK_NOFOLLOW, wanted, &attributes) != 0) {
        return {};
    }
    const unsigned int required = STATX_TYPE | STATX_SIZE | STATX_MTIME;
    if ((attributes.stx_mask & required) != required || !S_ISREG(attributes.stx_mode) ||
        attributes.stx_size < 1) {
        return {};
    }
    const Date modified = dateOf(attributes.stx_mtime);
    const auto age = now - modified;
    if (age < Date::duration::zero()) {
        return {};
    }
    if (age < screenshotSettleTime) {
        return {.shot = std::nullopt, .settlesIn = screenshotSettleTime - age};
    }
    const auto size = static_cast<std::int64_t>(attributes.stx_size);
    const bool hasBirth = (attributes.stx_mask & STATX_BTIME) != 0;
    DetectedScreenshot shot{.url = file,
                            .createdAt = hasBirth ? dateOf(attributes.stx_btime) : modified,
                            .size = size,
                            .fingerprint = screenshotFingerprint(file, modified, size),
                            .frontmostWindowTitle = std::nullopt};
    return {.shot = std::move(shot), .settlesIn = std::nullopt};
}

std::optional<DetectedScreenshot> makeShot(const std::filesystem::path& file, Date now,
                                           const WindowTitleSource& title) {
    auto shot = probeShot(file, now).shot;
    if (shot && title) {
        shot->frontmostWindowTitle = title();
    }
    return shot;
}

} // namespace tarvo::desktop
