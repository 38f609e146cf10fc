// Feeds arbitrary text to the link readers and the page-text policy. A profile handle that comes
// out is a clean handle; normalised and shortened text keep to their lengths and are valid UTF-8.

#include <capturekit/content/google_place_link.hpp>
#include <capturekit/content/page_render_policy.hpp>
#include <capturekit/content/social_profile.hpp>
#include <capturekit/platform/text.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace capturekit;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose the length limits; the rest is the text.
    const std::size_t limit = data[0];
    const std::size_t max = data[1];
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    if (const auto profile = SocialProfile::from(text)) {
        require(SocialProfile::cleanHandle(profile->handle) == profile->handle);
        require(SocialProfile::platformFromRawValue(SocialProfile::rawValue(profile->platform)) ==
                profile->platform);
    }
    (void)GooglePlaceLink::matches(text);
    (void)PageRenderPolicy::shouldRender(text, text);
    (void)PageRenderPolicy::shouldRender(text, std::nullopt);

    if (const auto normalized = PageRenderPolicy::normalize(text, limit)) {
        require(text::isValidUTF8(*normalized) && text::characterCount(*normalized) <= limit);
    }
    const std::string lead = PageRenderPolicy::lead(text, max);
    require(text::characterCount(lead) <= max + 1);
    require(lead == text || text::isValidUTF8(lead));
    return 0;
}
