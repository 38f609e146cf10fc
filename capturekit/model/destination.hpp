#pragma once

// The suite's destinations: where a capture can be filed.

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

enum class Destination { stash, docket, cabinet, trove, rapport, bloom, pulse, hearth };

template <> struct RawValues<Destination> {
    static constexpr std::array<std::string_view, 8> names{
        "stash", "docket", "cabinet", "trove", "rapport", "bloom", "pulse", "hearth"};
};

// The name people and the suite's apps know the destination by; for `bloom` it is "diary".
std::string_view displayName(Destination destination);
// The key of the app in the apps-enabled list (same as the display name).
std::string_view appKey(Destination destination);
// The first path segment of the app in the web suite (same as the display name).
std::string_view webAppSlug(Destination destination);
std::string_view symbolName(Destination destination);
// "#RRGGBB", upper-case digits.
std::string_view accentHex(Destination destination);

// A private lane is never reached by content inference.
bool isPrivateLane(Destination destination);
// Chosen only by hand, never by routing.
bool isExplicitOnly(Destination destination);
bool acceptsCapture(Destination destination);

// The destination's icon: a "file://" URL of AppIcons/<display name>.png in the library's
// resource folder, absent when that file is not there.
std::optional<std::string> bundledIconURL(Destination destination);

namespace destinations {

// Where a capture goes when nothing better is known; nothing is lost there.
inline constexpr Destination floor = Destination::stash;

// Destinations that are not live yet.
inline constexpr std::array<Destination, 0> pending{};

} // namespace destinations

} // namespace capturekit
