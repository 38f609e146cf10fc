#include <capturekit/model/cabinet_category.hpp>

#include <algorithm>
#include <iterator>
#include <vector>

namespace capturekit {

std::string_view displayName(CabinetCategory category) {
    switch (category) {
    case CabinetCategory::games:
        return "Games";
    case CabinetCategory::books:
        return "Books";
    case CabinetCategory::movies_shows:
        return "Movies & TV";
    case CabinetCategory::video_games:
        return "Video Games";
    case CabinetCategory::podcasts:
        return "Podcasts";
    case CabinetCategory::legos:
        return "LEGO";
    case CabinetCategory::woobles:
        return "Woobles";
    case CabinetCategory::yugioh:
        return "Yu-Gi-Oh!";
    case CabinetCategory::popmart:
        return "Pop Mart";
    case CabinetCategory::crochet_patterns:
        return "Crochet Patterns";
    case CabinetCategory::models_3d:
        return "3D Models";
    }
    return {};
}

std::string_view symbolName(CabinetCategory category) {
    switch (category) {
    case CabinetCategory::games:
        return "dice.fill";
    case CabinetCategory::books:
        return "book.fill";
    case CabinetCategory::movies_shows:
        return "film.fill";
    case CabinetCategory::video_games:
        return "gamecontroller.fill";
    case CabinetCategory::podcasts:
        return "mic.fill";
    case CabinetCategory::legos:
        return "square.grid.2x2.fill";
    case CabinetCategory::woobles:
        return "teddybear.fill";
    case CabinetCategory::yugioh:
        return "rectangle.on.rectangle.fill";
    case CabinetCategory::popmart:
        return "shippingbox.fill";
    case CabinetCategory::crochet_patterns:
        return "scribble";
    case CabinetCategory::models_3d:
        return "cube.fill";
    }
    return {};
}

bool isSelectable(CabinetCategory category) {
    return category != CabinetCategory::crochet_patterns;
}

namespace cabinetCategories {

std::span<const CabinetCategory> selectable() {
    static const std::vector<CabinetCategory> categories = [] {
        std::vector<CabinetCategory> out;
        std::ranges::copy_if(allCases<CabinetCategory>(), std::back_inserter(out), isSelectable);
        return out;
    }();
    return categories;
}

} // namespace cabinetCategories

} // namespace capturekit
