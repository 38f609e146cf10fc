#include <capturekit/delivery/capture_links.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/text.hpp>

#include <array>
#include <utility>

namespace capturekit::CaptureLinks {

namespace {

// Letters and digits of any script, "-" and "_": nothing that could change the path's meaning.
bool isSafeEntryID(const std::optional<std::string>& entryID) {
    if (!entryID || entryID->empty()) {
        return false;
    }
    for (const char32_t c : text::codePoints(*entryID)) {
        if (!text::isLetterOrDigit(c) && c != U'-' && c != U'_') {
            return false;
        }
    }
    return true;
}

std::string appending(const std::string& base, std::string_view segment) {
    return base + std::string(segment);
}

} // namespace

std::optional<std::string_view> cabinetPathSegment(std::string_view category) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 12> segments{{
        {"games", "games"},
        {"books", "books"},
        {"movies_shows", "movies_shows"},
        {"video_games", "video-games"},
        {"podcasts", "podcasts"},
        {"legos", "legos"},
        {"woobles", "woobles"},
        {"yugioh", "yugioh"},
        {"popmart", "popmart"},
        {"crochet_patterns", "crochet-patterns"},
        {"models_3d", "3d-models"},
        {"lulu", "lulu"},
    }};
    const std::string lowered = text::lowercased(category);
    for (const auto& [name, segment] : segments) {
        if (name == lowered) {
            return segment;
        }
    }
    return std::nullopt;
}

std::optional<std::string> url(const CaptureEnvironment& environment, Destination destination,
                               const std::optional<std::string>& entryID,
                               const std::optional<std::string>& category) {
    const auto base = CaptureConfig::webAppURL(environment, webAppSlug(destination));
    if (!base) {
        return std::nullopt;
    }
    switch (destination) {
    case Destination::stash:
        return isSafeEntryID(entryID) ? appending(*base, "entries/" + *entryID) : *base;
    case Destination::trove:
        return isSafeEntryID(entryID) ? appending(*base, "i/" + *entryID) : *base;
    case Destination::cabinet: {
        const auto segment = category ? cabinetPathSegment(*category) : std::nullopt;
        return segment ? appending(*base, *segment) : *base;
    }
    default:
        return *base;
    }
}

std::optional<std::string> url(Destination destination, const std::optional<std::string>& entryID,
                               const std::optional<std::string>& category) {
    return url(CaptureConfig::environment(), destination, entryID, category);
}

std::optional<std::string> url(const RecentCapture& recent) {
    return url(recent.destination, recent.entryID, recent.category);
}

} // namespace capturekit::CaptureLinks
