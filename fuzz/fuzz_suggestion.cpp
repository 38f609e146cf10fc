// Decodes arbitrary bytes as a suggest reply. Whatever decodes must encode, and decode again to
// the same suggestion (an unknown raw category is the one thing not written back).

#include <capturekit/content/grocery_item_normaliser.hpp>
#include <capturekit/model/suggestion.hpp>
#include <capturekit/platform/json.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace capturekit;

namespace {

Suggestion withoutUnknownCategory(Suggestion suggestion) {
    suggestion.rawCabinetCategory.reset();
    if (suggestion.cabinetCategory) {
        suggestion.rawCabinetCategory = std::string(rawValue(*suggestion.cabinetCategory));
    }
    return suggestion;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto suggestion = Suggestion::decode(body);
    if (!suggestion) {
        return 0;
    }
    if (!std::isfinite(suggestion->confidence) || suggestion->destination == Destination::trove) {
        std::abort();
    }
    const auto encoded = suggestion->toJson();
    if (!encoded) {
        std::abort();
    }
    const auto again = Suggestion::decode(json::dump(*encoded));
    if (!again || *again != withoutUnknownCategory(*suggestion)) {
        std::abort();
    }
    for (const GroceryItem& item : suggestion->groceryItems.value_or(std::vector<GroceryItem>{})) {
        if (!GroceryItemNormaliser::normalised(item).toJson()) {
            std::abort();
        }
    }
    return 0;
}
