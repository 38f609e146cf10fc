#include <capturekit/routing/capture_router.hpp>

#include <capturekit/model/capture_surface.hpp>
#include <capturekit/platform/text.hpp>

#include <algorithm>
#include <array>
#include <string_view>

namespace capturekit {

RouteDecision RouteDecision::floor(std::string reason) {
    return RouteDecision{Destination::stash, 0,          std::move(reason), std::nullopt,
                         State::unsure,      Rung::floor};
}

namespace CaptureRouter {

namespace {

using Rung = RouteDecision::Rung;
using State = RouteDecision::State;

// The cues and tags are ASCII, so comparing ASCII-folded bytes matches them in the lower-cased
// text without making a lower-cased copy; non-ASCII bytes never equal an ASCII cue byte.
char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsFolded(std::string_view text, std::string_view lowerNeedle) {
    return text.size() == lowerNeedle.size() &&
           std::equal(text.begin(), text.end(), lowerNeedle.begin(),
                      [](char a, char b) { return asciiLower(a) == b; });
}

bool startsWithFolded(std::string_view text, std::string_view lowerNeedle) {
    return text.size() >= lowerNeedle.size() &&
           equalsFolded(text.substr(0, lowerNeedle.size()), lowerNeedle);
}

bool containsFolded(std::string_view text, std::string_view lowerNeedle) {
    const auto found = std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                                   [](char a, char b) { return asciiLower(a) == b; });
    return found != text.end() || lowerNeedle.empty();
}

bool isPending(Destination destination) {
    return std::find(destinations::pending.begin(), destinations::pending.end(), destination) !=
           destinations::pending.end();
}

std::optional<PersonMatch> personFor(Destination destination,
                                     const std::optional<Suggestion>& suggestion) {
    if (!isPrivateLane(destination) || !suggestion) {
        return std::nullopt;
    }
    return suggestion->personMatch;
}

RouteDecision decide(Destination destination, double confidence, std::string reason,
                     const std::optional<Suggestion>& suggestion, Rung rung) {
    return RouteDecision{destination,       confidence,
                         std::move(reason), personFor(destination, suggestion),
                         State::confident,  rung};
}

std::optional<RouteDecision> byExplicitSurface(const CaptureItem& item,
                                               const std::optional<Suggestion>& suggestion) {
    const auto destination = explicitDestination(item.surface);
    if (!destination) {
        return std::nullopt;
    }
    return decide(*destination, 1.0, "You chose " + std::string(displayName(*destination)),
                  suggestion, Rung::explicitSurface);
}

std::optional<RouteDecision> byExplicitTag(const CaptureItem& item,
                                           const std::optional<Suggestion>& suggestion) {
    for (const std::string& tag : item.tags) {
        const auto destinations = allCases<Destination>();
        const auto match =
            std::find_if(destinations.begin(), destinations.end(),
                         [&](Destination d) { return equalsFolded(tag, rawValue(d)); });
        if (match == destinations.end()) {
            continue;
        }
        if (*match == Destination::pulse || isPending(*match)) {
            return std::nullopt;
        }
        // Display names are already lower case ("diary" for the reflections destination).
        return decide(*match, 1.0, "Tagged " + std::string(displayName(*match)), suggestion,
                      Rung::explicitTag);
    }
    return std::nullopt;
}

struct PhraseCue {
    enum class Match { contains, startsWith, aboutThat };
    Match match;
    std::string_view phrase;
    Destination destination;
    std::string_view reason;
};

constexpr std::string_view rapportCue = "\"note about…\" → Rapport";
constexpr std::string_view bloomCue = "\"reflection\" → Bloom";
constexpr std::string_view docketCue = "\"remind me\" → Docket";
constexpr std::string_view cabinetCue = "\"save this\" → Cabinet";

constexpr std::array<PhraseCue, 15> phraseCues = {{
    {PhraseCue::Match::contains, "note that ", Destination::rapport, rapportCue},
    {PhraseCue::Match::contains, "note about ", Destination::rapport, rapportCue},
    {PhraseCue::Match::aboutThat, "about ", Destination::rapport, rapportCue},
    {PhraseCue::Match::contains, "reflection", Destination::bloom, bloomCue},
    {PhraseCue::Match::startsWith, "reflect ", Destination::bloom, bloomCue},
    {PhraseCue::Match::contains, "i'm grateful", Destination::bloom, bloomCue},
    {PhraseCue::Match::contains, "today i felt", Destination::bloom, bloomCue},
    {PhraseCue::Match::contains, "remind me", Destination::docket, docketCue},
    {PhraseCue::Match::startsWith, "todo", Destination::docket, docketCue},
    {PhraseCue::Match::startsWith, "to-do", Destination::docket, docketCue},
    {PhraseCue::Match::contains, "add a task", Destination::docket, docketCue},
    {PhraseCue::Match::startsWith, "task:", Destination::docket, docketCue},
    {PhraseCue::Match::contains, "save this", Destination::cabinet, cabinetCue},
    {PhraseCue::Match::contains, "keep this", Destination::cabinet, cabinetCue},
    {PhraseCue::Match::startsWith, "bookmark ", Destination::cabinet, cabinetCue},
}};

bool holds(const PhraseCue& cue, std::string_view text) {
    switch (cue.match) {
    case PhraseCue::Match::contains:
        return containsFolded(text, cue.phrase);
    case PhraseCue::Match::startsWith:
        return startsWithFolded(text, cue.phrase);
    case PhraseCue::Match::aboutThat:
        return startsWithFolded(text, cue.phrase) && containsFolded(text, " that ");
    }
    return false;
}

std::optional<RouteDecision> byPhraseCue(const CaptureItem& item,
                                         const std::optional<Suggestion>& suggestion) {
    for (const PhraseCue& cue : phraseCues) {
        if (holds(cue, item.text)) {
            return decide(cue.destination, 0.9, std::string(cue.reason), suggestion,
                          Rung::dictationCue);
        }
    }
    return std::nullopt;
}

std::optional<RouteDecision> byInference(const std::optional<Suggestion>& suggestion) {
    // NaN fails this comparison too, so it counts as below the threshold.
    if (!suggestion || !suggestion->destination ||
        !(suggestion->confidence >= inferenceThreshold)) {
        return std::nullopt;
    }
    const Destination destination = *suggestion->destination;
    if (isExplicitOnly(destination)) {
        return RouteDecision::floor(std::string(displayName(destination)) +
                                    " is only ever chosen by hand — saved to stash");
    }
    if (destination == Destination::pulse || isPending(destination)) {
        return RouteDecision::floor("Saved to stash");
    }
    if (destination == Destination::bloom) {
        return RouteDecision::floor(
            "Looks personal — parked in stash rather than guessed into diary");
    }
    auto reason = suggestion->reason ? text::trimmedNonEmpty(*suggestion->reason) : std::nullopt;
    return RouteDecision{destination,
                         suggestion->confidence,
                         reason ? std::move(*reason)
                                : std::string(displayName(destination)) + " looks right",
                         std::nullopt,
                         State::confident,
                         Rung::contentInference};
}

} // namespace

RouteDecision route(const CaptureItem& item, const std::optional<Suggestion>& suggestion) {
    if (auto decision = byExplicitSurface(item, suggestion)) {
        return std::move(*decision);
    }
    if (auto decision = byExplicitTag(item, suggestion)) {
        return std::move(*decision);
    }
    if (item.contact) {
        return RouteDecision{
            Destination::rapport,  0.95,
            "Shared contact card", suggestion ? suggestion->personMatch : std::nullopt,
            State::confident,      Rung::dictationCue};
    }
    if (auto decision = byPhraseCue(item, suggestion)) {
        return std::move(*decision);
    }
    if (auto decision = byInference(suggestion)) {
        return std::move(*decision);
    }
    return RouteDecision::floor("No confident match — saved where nothing is lost");
}

} // namespace CaptureRouter

} // namespace capturekit
