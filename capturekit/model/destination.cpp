#include <capturekit/model/destination.hpp>

#include <capturekit/platform/resource_bundle.hpp>

#include <algorithm>

namespace capturekit {

std::string_view displayName(Destination destination) {
    return destination == Destination::bloom ? "diary" : rawValue(destination);
}

std::string_view appKey(Destination destination) {
    return displayName(destination);
}

std::string_view webAppSlug(Destination destination) {
    return displayName(destination);
}

std::string_view symbolName(Destination destination) {
    switch (destination) {
    case Destination::stash:
        return "tray.and.arrow.down.fill";
    case Destination::docket:
        return "checklist";
    case Destination::cabinet:
        return "bookmark.fill";
    case Destination::trove:
        return "bag.fill";
    case Destination::rapport:
        return "person.crop.circle.fill";
    case Destination::bloom:
        return "leaf.fill";
    case Destination::pulse:
        return "sparkles";
    case Destination::hearth:
        return "house.fill";
    }
    return {};
}

std::string_view accentHex(Destination destination) {
    switch (destination) {
    case Destination::stash:
        return "#6B7280";
    case Destination::docket:
        return "#2563EB";
    case Destination::cabinet:
        return "#D97706";
    case Destination::trove:
        return "#EC4899";
    case Destination::rapport:
        return "#0D9488";
    case Destination::bloom:
        return "#16A34A";
    case Destination::pulse:
        return "#7C3AED";
    case Destination::hearth:
        return "#F59E0B";
    }
    return {};
}

bool isPrivateLane(Destination destination) {
    return destination == Destination::rapport || destination == Destination::bloom;
}

bool isExplicitOnly(Destination destination) {
    return destination == Destination::trove;
}

bool acceptsCapture(Destination destination) {
    return destination != Destination::pulse &&
           std::ranges::find(destinations::pending, destination) == destinations::pending.end();
}

std::optional<std::string> bundledIconURL(Destination destination) {
    const auto& bundle = ResourceBundle::main();
    if (!bundle) {
        return std::nullopt;
    }
    return bundle->url(displayName(destination), "png", "AppIcons");
}

} // namespace capturekit
