#include <capturekit/routing/bounce_copy.hpp>

#include <capturekit/platform/text.hpp>

namespace capturekit::BounceCopy {

namespace {

std::string savedTo(Destination landed, Destination asked) {
    return "Saved to " + std::string(displayName(landed)) + " — " + std::string(displayName(asked));
}

} // namespace

std::string message(Destination asked, Destination landed, bool hasRecipe,
                    const std::optional<std::string>& hearthKind, bool hasGroceries,
                    bool hasVendor) {
    if (asked == Destination::hearth && landed == Destination::stash) {
        if (!hasRecipe && !hearthKind && !hasGroceries) {
            return std::string(noRecipe);
        }
        if (hearthKind == "vendor" && !hasVendor) {
            return std::string(vendorNotFiled);
        }
    }
    return savedTo(landed, asked) + " couldn’t take it.";
}

std::string message(Destination asked, Destination landed, const CaptureIngestRequest& request) {
    const bool hasGroceries = request.groceryItems && !request.groceryItems->empty();
    return message(asked, landed, request.recipe.has_value(), request.hearthKind, hasGroceries,
                   request.vendor.has_value());
}

std::string message(Destination asked, Destination landed, const CaptureIngestRequest& request,
                    const std::optional<RouteOutcome>& route) {
    if (route && route->state.kind == RouteOutcome::StateKind::failed) {
        std::string text = savedTo(landed, asked) + " hit an error";
        if (route->code) {
            text += " (" + *route->code + ")";
        }
        return text + ": " + text::trimmedOptional(route->error).value_or("unknown error");
    }
    if (route && route->state.kind == RouteOutcome::StateKind::notLive) {
        return savedTo(landed, asked) + " isn’t live yet.";
    }
    return message(asked, landed, request);
}

} // namespace capturekit::BounceCopy
