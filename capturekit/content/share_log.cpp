#include <capturekit/content/share_log.hpp>

#include <capturekit/platform/log.hpp>

namespace capturekit::ShareLog {

namespace {

std::chrono::steady_clock::time_point start() {
    static const std::chrono::steady_clock::time_point first = std::chrono::steady_clock::now();
    return first;
}

} // namespace

std::string entryText(std::chrono::milliseconds sinceStart, std::string_view label) {
    return "[share-stage +" + std::to_string(sinceStart.count()) + "ms] " + std::string(label);
}

std::chrono::milliseconds step(std::string_view label) {
    static const Logger logger("com.merrow.loft.share", "stages");
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start());
    logger.notice(entryText(since, label));
    return since;
}

} // namespace capturekit::ShareLog
