#include <capturekit/routing/cabinet_redirects.hpp>

#include <capturekit/platform/text.hpp>

#include <algorithm>
#include <array>
#include <string_view>

namespace capturekit {

namespace {

// The cabinet category, lower-cased and trimmed of spaces and tabs; absent for another
// destination or an empty category.
std::optional<std::string> cabinetCategory(std::optional<Destination> destination,
                                           const std::optional<std::string>& rawCategory) {
    if (destination != Destination::cabinet || !rawCategory) {
        return std::nullopt;
    }
    std::string category = text::lowercased(text::trimmedSpacesAndTabs(*rawCategory));
    if (category.empty()) {
        return std::nullopt;
    }
    return category;
}

} // namespace

bool FoodRouting::isFoodDestinedForHearth(std::optional<Destination> destination,
                                          const std::optional<std::string>& rawCategory) {
    static constexpr std::array<std::string_view, 5> food = {"recipes", "recipe", "meals", "meal",
                                                             "pantry"};
    const auto category = cabinetCategory(destination, rawCategory);
    return category && std::find(food.begin(), food.end(), *category) != food.end();
}

std::optional<Destination> FoodRouting::redirect(std::optional<Destination> destination,
                                                 const std::optional<std::string>& rawCategory) {
    return isFoodDestinedForHearth(destination, rawCategory) ? Destination::hearth : destination;
}

bool ShelfRouting::isRetiredShelf(std::optional<Destination> destination,
                                  const std::optional<std::string>& rawCategory) {
    return cabinetCategory(destination, rawCategory) == "crochet_patterns";
}

std::optional<Destination> ShelfRouting::redirect(std::optional<Destination> destination,
                                                  const std::optional<std::string>& rawCategory) {
    return isRetiredShelf(destination, rawCategory) ? Destination::stash : destination;
}

} // namespace capturekit
