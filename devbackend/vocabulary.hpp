#pragma once

// The suite's destinations and collections as the backend knows them.

#include <algorithm>
#include <array>
#include <string_view>

namespace devbackend::vocabulary {

inline constexpr std::array<std::string_view, 8> destinations = {
    "stash", "docket", "cabinet", "trove", "rapport", "bloom", "pulse", "hearth"};

inline constexpr std::array<std::string_view, 11> cabinetCategories = {
    "games",   "books",  "movies_shows", "video_games",      "podcasts", "legos",
    "woobles", "yugioh", "popmart",      "crochet_patterns", "models_3d"};

inline constexpr std::array<std::string_view, 2> taskKinds = {"focus", "quick"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& values, std::string_view value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The key of a destination's app in the user's app settings: the reflections destination's
// app is called "diary".
inline std::string_view appKey(std::string_view destination) {
    return destination == "bloom" ? std::string_view("diary") : destination;
}

} // namespace devbackend::vocabulary
