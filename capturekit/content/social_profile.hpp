#pragma once

// Recognises a profile link on Instagram, X (formerly Twitter) or LinkedIn and extracts the
// handle. Recognised hosts (after a leading "www." is dropped): instagram.com; x.com, twitter.com,
// mobile.twitter.com; linkedin.com, m.linkedin.com.

#include <capturekit/platform/url.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

struct SocialProfile {
    enum class Platform { instagram, x, linkedin };

    Platform platform = Platform::instagram;
    std::string handle;

    static std::optional<SocialProfile> from(const std::optional<Url>& url);
    static std::optional<SocialProfile> from(std::string_view urlText);

    static std::string_view rawValue(Platform platform);
    static std::optional<Platform> platformFromRawValue(std::string_view raw);

    // The handle without one leading "@", when it is 1 to 100 characters of the handle alphabet
    // and not a reserved path word.
    static std::optional<std::string> cleanHandle(std::string_view candidate);

    bool operator==(const SocialProfile&) const = default;
};

} // namespace capturekit
