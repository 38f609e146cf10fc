#include <capturekit/routing/cabinet_redirects.hpp>
#include <capturekit/routing/capture_router.hpp>

#include <gtest/gtest.h>

#include <cmath>

using namespace capturekit;
using Rung = RouteDecision::Rung;
using State = RouteDecision::State;

namespace {

CaptureItem item(std::string text, std::vector<std::string> tags = {},
                 CaptureSurface surface = CaptureSurface::captureIntent) {
    return CaptureItem{.text = std::move(text), .surface = surface, .tags = std::move(tags)};
}

Suggestion suggest(Destination destination, double confidence,
                   std::optional<std::string> reason = {}) {
    Suggestion s;
    s.destination = destination;
    s.confidence = confidence;
    s.reason = std::move(reason);
    s.personMatch = PersonMatch{"p-1", "Ada", 0.8};
    return s;
}

} // namespace

TEST(CaptureRouter, TheSurfaceOutranksTagsAndCarriesThePersonOnlyIntoPrivateLanes) {
    const auto widget = CaptureRouter::route(
        item("x", {"cabinet"}, CaptureSurface::quickTaskWidget), suggest(Destination::stash, 1));
    EXPECT_EQ(widget, (RouteDecision{Destination::docket, 1.0, "You chose docket", std::nullopt,
                                     State::confident, Rung::explicitSurface}));
    EXPECT_TRUE(widget.isExplicitChoice());

    const auto reflect = CaptureRouter::route(item("x", {}, CaptureSurface::reflectIntent),
                                              suggest(Destination::docket, 1));
    EXPECT_EQ(reflect.destination, Destination::bloom);
    EXPECT_EQ(reflect.reason, "You chose diary");
    ASSERT_TRUE(reflect.person);
    EXPECT_EQ(reflect.person->name, "Ada");
}

TEST(CaptureRouter, TheFirstKnownTagDecidesAndPulseStopsTheTagRung) {
    const auto tagged = CaptureRouter::route(item("x", {"foo", "Docket", "rapport"}), std::nullopt);
    EXPECT_EQ(tagged.destination, Destination::docket);
    EXPECT_EQ(tagged.reason, "Tagged docket");
    EXPECT_EQ(tagged.rung, Rung::explicitTag);

    EXPECT_EQ(CaptureRouter::route(item("x", {"BLOOM"}), std::nullopt).reason, "Tagged diary");
    EXPECT_EQ(CaptureRouter::route(item("x", {"diary"}), std::nullopt).rung, Rung::floor);

    const auto pulse = CaptureRouter::route(item("remind me", {"pulse", "docket"}), std::nullopt);
    EXPECT_EQ(pulse.rung, Rung::dictationCue);
    EXPECT_EQ(pulse.reason, "\"remind me\" → Docket");
}

TEST(CaptureRouter, AContactCardOutranksPhraseCues) {
    CaptureItem withCard = item("remind me to call");
    withCard.contact = ContactCard{.name = "Bo"};
    const auto decision = CaptureRouter::route(withCard, suggest(Destination::docket, 0.9));
    EXPECT_EQ(decision.destination, Destination::rapport);
    EXPECT_EQ(decision.confidence, 0.95);
    EXPECT_EQ(decision.reason, "Shared contact card");
    EXPECT_EQ(decision.rung, Rung::dictationCue);
    EXPECT_TRUE(decision.person);
}

TEST(CaptureRouter, PhraseCuesMatchLiterallyInAnyLetterCase) {
    const struct {
        const char* text;
        Destination destination;
    } cases[] = {
        {"REMIND ME to water plants", Destination::docket},
        {"Note that Sam likes tea", Destination::rapport},
        {"about Sam: note that he moved", Destination::rapport},
        {"About the trip that we took", Destination::rapport},
        {"Today I felt calm", Destination::bloom},
        {"Reflect on the week", Destination::bloom},
        {"To-Do: taxes", Destination::docket},
        {"Bookmark this site", Destination::cabinet},
        {"please keep this", Destination::cabinet},
    };
    for (const auto& c : cases) {
        const auto decision = CaptureRouter::route(item(c.text), std::nullopt);
        EXPECT_EQ(decision.destination, c.destination) << c.text;
        EXPECT_EQ(decision.confidence, 0.9) << c.text;
        EXPECT_EQ(decision.rung, Rung::dictationCue) << c.text;
    }
    // A typographic apostrophe, a leading space and a missing trailing space do not match.
    for (const char* text : {"I\u2019m grateful", " todo list", "reflectively", "bookmark"}) {
        EXPECT_EQ(CaptureRouter::route(item(text), std::nullopt).rung, Rung::floor) << text;
    }
    EXPECT_EQ(CaptureRouter::route(item("reflection time"), std::nullopt).reason,
              "\"reflection\" → Bloom");
}

TEST(CaptureRouter, InferenceNeedsTheThresholdAndNeverGuessesPrivateOrHandPickedLanes) {
    const auto inferred = [](Destination destination, double confidence,
                             std::optional<std::string> reason = {}) {
        return CaptureRouter::route(item("x"), suggest(destination, confidence, std::move(reason)));
    };
    EXPECT_EQ(inferred(Destination::hearth, 0.6),
              (RouteDecision{Destination::hearth, 0.6, "hearth looks right", std::nullopt,
                             State::confident, Rung::contentInference}));
    const auto noMatch = RouteDecision::floor("No confident match — saved where nothing is lost");
    EXPECT_EQ(inferred(Destination::hearth, 0.59), noMatch);
    EXPECT_EQ(inferred(Destination::hearth, std::nan("")).rung, Rung::floor);

    EXPECT_EQ(inferred(Destination::trove, 0.9).reason,
              "trove is only ever chosen by hand — saved to stash");
    EXPECT_EQ(inferred(Destination::trove, 0.3), noMatch);
    EXPECT_EQ(inferred(Destination::pulse, 0.9).reason, "Saved to stash");
    EXPECT_EQ(
        inferred(Destination::bloom, 0.99),
        RouteDecision::floor("Looks personal — parked in stash rather than guessed into diary"));

    const auto rapport = inferred(Destination::rapport, 0.7, " \n");
    EXPECT_EQ(rapport.destination, Destination::rapport);
    EXPECT_EQ(rapport.reason, "rapport looks right");
    EXPECT_FALSE(rapport.person);
    EXPECT_EQ(inferred(Destination::docket, 0.8, " Due soon \n").reason, "Due soon");
}

TEST(CabinetRedirects, FoodGoesToHearthAndTheRetiredShelfToStash) {
    EXPECT_EQ(FoodRouting::redirect(Destination::cabinet, " Recipes\t"), Destination::hearth);
    EXPECT_EQ(FoodRouting::redirect(Destination::docket, "recipes"), Destination::docket);
    EXPECT_EQ(FoodRouting::redirect(Destination::cabinet, std::nullopt), Destination::cabinet);
    EXPECT_EQ(FoodRouting::redirect(std::nullopt, "pantry"), std::nullopt);
    EXPECT_FALSE(FoodRouting::isFoodDestinedForHearth(Destination::cabinet, "recipes\n"));
    EXPECT_EQ(ShelfRouting::redirect(Destination::cabinet, "CROCHET_PATTERNS "),
              Destination::stash);
    EXPECT_EQ(ShelfRouting::redirect(Destination::cabinet, "books"), Destination::cabinet);
}
