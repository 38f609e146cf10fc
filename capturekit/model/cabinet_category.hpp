#pragma once

// The collections of the cabinet destination. Raw values use underscores; the web's hyphenated
// forms are a separate mapping.

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <span>
#include <string_view>

namespace capturekit {

enum class CabinetCategory {
    games,
    books,
    movies_shows,
    video_games,
    podcasts,
    legos,
    woobles,
    yugioh,
    popmart,
    crochet_patterns,
    models_3d,
};

template <> struct RawValues<CabinetCategory> {
    static constexpr std::array<std::string_view, 11> names{
        "games",   "books",  "movies_shows", "video_games",      "podcasts", "legos",
        "woobles", "yugioh", "popmart",      "crochet_patterns", "models_3d"};
};

std::string_view displayName(CabinetCategory category);
std::string_view symbolName(CabinetCategory category);
// Whether pickers offer the category. A category that is not selectable is still valid on the
// wire.
bool isSelectable(CabinetCategory category);

namespace cabinetCategories {

// The categories pickers offer, in declaration order.
std::span<const CabinetCategory> selectable();

} // namespace cabinetCategories

} // namespace capturekit
