#include <capturekit/routing/capture_request_builder.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/content/grocery_item_normaliser.hpp>
#include <capturekit/content/recipe_payload_builder.hpp>
#include <capturekit/content/social_profile.hpp>
#include <capturekit/platform/text.hpp>

#include <algorithm>

namespace capturekit {

namespace {

using text::trimmedOptional;

std::optional<std::string> firstPresent(std::initializer_list<std::optional<std::string>> values) {
    for (const auto& value : values) {
        if (value) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<CabinetCategory> categoryFor(Destination destination,
                                           const std::optional<Suggestion>& suggestion,
                                           const CaptureRequestBuilder::Choices& choices) {
    if (destination != Destination::cabinet) {
        return std::nullopt;
    }
    if (choices.category) {
        return choices.category;
    }
    return suggestion ? suggestion->cabinetCategory : std::nullopt;
}

std::optional<std::string> personNameFor(const RouteDecision& decision, const CaptureItem& item,
                                         const std::optional<Suggestion>& suggestion) {
    const auto firstSuggested = [&]() -> std::optional<std::string> {
        if (!suggestion || !suggestion->personNames || suggestion->personNames->empty()) {
            return std::nullopt;
        }
        return text::trimmedNonEmpty(suggestion->personNames->front());
    };
    return firstPresent(
        {item.contact ? text::trimmedNonEmpty(item.contact->name) : std::nullopt,
         decision.person ? text::trimmedNonEmpty(decision.person->name) : std::nullopt,
         firstSuggested()});
}

std::optional<SocialIdentityPayload> socialIdentityFor(const CaptureItem& item) {
    if (!item.url) {
        return std::nullopt;
    }
    const auto profile = SocialProfile::from(std::string_view(*item.url));
    if (!profile) {
        return std::nullopt;
    }
    return SocialIdentityPayload{std::string(SocialProfile::rawValue(profile->platform)),
                                 profile->handle};
}

std::optional<std::string> sourceTypeFor(const CaptureItem& item) {
    if (auto hint = trimmedOptional(item.sourceTypeHint)) {
        return hint;
    }
    if (item.isDictation) {
        return "voice_capture";
    }
    if (trimmedOptional(item.url)) {
        return "link";
    }
    switch (item.surface) {
    case CaptureSurface::universalShare:
    case CaptureSurface::rapportShare:
        return "share";
    case CaptureSurface::composer:
        return "manual";
    case CaptureSurface::captureIntent:
    case CaptureSurface::rapportNoteIntent:
    case CaptureSurface::reflectIntent:
    case CaptureSurface::voiceCapture:
        return "voice_capture";
    case CaptureSurface::quickTaskWidget:
    case CaptureSurface::captureGrab:
        break;
    }
    return std::nullopt;
}

// The household fields, only for the household destination.
void fillHearth(CaptureIngestRequest::Arguments& args, const CaptureItem& item,
                const std::optional<Suggestion>& suggestion,
                const CaptureRequestBuilder::Choices& choices) {
    if (item.contact) {
        args.hearthKind = std::string(rawValue(HearthKind::vendor));
        args.vendor = item.contact->vendorPayload();
    } else {
        args.hearthKind = firstPresent(
            {choices.hearthKind ? std::optional<std::string>(rawValue(*choices.hearthKind))
                                : std::nullopt,
             item.hearthKind, suggestion ? suggestion->hearthKind : std::nullopt});
    }
    if (suggestion && suggestion->groceryItems) {
        std::vector<GroceryItem> groceries;
        groceries.reserve(suggestion->groceryItems->size());
        for (const GroceryItem& grocery : *suggestion->groceryItems) {
            groceries.push_back(GroceryItemNormaliser::normalised(grocery));
        }
        args.groceryItems = std::move(groceries);
    }
}

std::optional<std::vector<std::string>> attachmentsFor(const CaptureItem& item) {
    if (item.extraScreenshots.empty() || !item.keepImagesTogether) {
        return std::nullopt;
    }
    const auto count =
        std::min<std::size_t>(item.extraScreenshots.size(), CaptureIngestRequest::maxAttachments);
    return std::vector<std::string>(item.extraScreenshots.begin(),
                                    item.extraScreenshots.begin() +
                                        static_cast<std::ptrdiff_t>(count));
}

} // namespace

CaptureIngestRequest CaptureRequestBuilder::build(const RouteDecision& decision,
                                                  const CaptureItem& item,
                                                  const std::optional<Suggestion>& suggestion,
                                                  const Choices& choices) {
    const Destination destination = decision.destination;
    CaptureIngestRequest::Arguments args;
    args.aiOptOut = AIConsent::isGranted() ? std::nullopt : std::optional<bool>(true);
    args.destination = destination;
    args.category = categoryFor(destination, suggestion, choices);
    args.title =
        firstPresent({suggestion ? trimmedOptional(suggestion->title) : std::nullopt, item.title});
    args.content = item.text;
    args.tags = item.tags;
    args.entryType = suggestion ? trimmedOptional(suggestion->entryType) : std::nullopt;
    args.screenshot = item.screenshotDataURI;
    args.url = trimmedOptional(item.url);
    args.imageURL = trimmedOptional(item.imageURL);
    args.pageText = trimmedOptional(item.pageText);
    args.audioPath = trimmedOptional(item.audioPath);
    args.transcriptionEngine = trimmedOptional(item.transcriptionEngine);
    if (isPrivateLane(destination)) {
        args.personID = decision.person ? trimmedOptional(decision.person->personID) : std::nullopt;
        args.personName = personNameFor(decision, item, suggestion);
    }
    args.rapportAvatar = choices.rapportAvatar ? std::optional<bool>(true) : std::nullopt;
    args.routeRung =
        choices.userChoseDestination || decision.isExplicitChoice() ? "explicit" : "inferred";
    if (destination == Destination::rapport) {
        args.socialIdentity = socialIdentityFor(item);
        args.createPerson = item.contact ? std::optional<bool>(true) : std::nullopt;
    }
    if (args.audioPath) {
        args.audioMime = "audio/m4a";
        args.audioDurationSeconds = item.audioDurationSeconds;
    }
    if (item.audioExpiresAt) {
        args.audioExpiresAt = dates::iso8601(*item.audioExpiresAt);
    }
    if (item.recipe) {
        args.recipe = RecipePayloadBuilder::from(*item.recipe, item.url, item.imageURL);
    }
    if (destination == Destination::hearth) {
        fillHearth(args, item, suggestion, choices);
    }
    args.attachments = attachmentsFor(item);
    args.sourceType = sourceTypeFor(item);
    args.sourceApp = item.sourceApp;
    args.device = choices.device;
    args.makeTask = choices.makeTask;
    args.taskKind = choices.taskKind;
    args.taskDue = choices.taskDue;
    return CaptureIngestRequest(std::move(args));
}

std::optional<HearthKind> hearthKinds::known(const CaptureItem& item,
                                             const std::optional<Suggestion>& suggestion) {
    if (item.contact) {
        return HearthKind::vendor;
    }
    if (item.recipe) {
        return HearthKind::recipe;
    }
    if (item.hearthKind) {
        if (const auto kind = fromRawValue<HearthKind>(*item.hearthKind)) {
            return kind;
        }
    }
    if (suggestion && suggestion->hearthKind) {
        return fromRawValue<HearthKind>(*suggestion->hearthKind);
    }
    return std::nullopt;
}

} // namespace capturekit
