#include "support/account_sandbox.hpp"

#include <capturekit/routing/capture_request_builder.hpp>
#include <capturekit/routing/capture_router.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using Rung = RouteDecision::Rung;
using CaptureRequestBuilder::Choices;

namespace {

RouteDecision decided(Destination destination, Rung rung = Rung::contentInference,
                      std::optional<PersonMatch> person = std::nullopt) {
    return RouteDecision{destination, 0.9, "r", std::move(person), RouteDecision::State::confident,
                         rung};
}

// The request for an item confidently inferred to belong at the destination.
CaptureIngestRequest build(Destination destination, const CaptureItem& item,
                           const std::optional<Suggestion>& suggestion = std::nullopt,
                           const Choices& choices = {}) {
    return CaptureRequestBuilder::build(decided(destination), item, suggestion, choices);
}

CaptureItem item(std::string text) {
    return CaptureItem{.text = std::move(text), .surface = CaptureSurface::quickTaskWidget};
}

struct RequestBuilder : testing::Test {
    tarvo::test::AccountSandbox sandbox;
};

} // namespace

// The opt-out and the surface and inference rungs are tested end to end with the engine.
TEST_F(RequestBuilder, ATagOrAHandPickedDestinationIsAnExplicitRoute) {
    const auto tagged = decided(Destination::docket, Rung::explicitTag);
    EXPECT_EQ(CaptureRequestBuilder::build(tagged, item("x"), {}).routeRung, "explicit");
    const auto floor = decided(Destination::stash, Rung::floor);
    EXPECT_EQ(CaptureRequestBuilder::build(floor, item("x"), {}, {.userChoseDestination = true})
                  .routeRung,
              "explicit");
}

TEST_F(RequestBuilder, PeopleAreNamedOnlyInPrivateLanesAndCardsCreateThem) {
    CaptureItem shared = item("met at the fair");
    shared.contact = ContactCard{.name = "  Ada Lovelace \n"};
    shared.url = "https://www.instagram.com/ada.codes/";
    Suggestion suggestion;
    suggestion.personNames = std::vector<std::string>{"  ", "Bo"};
    const auto rapport = CaptureRequestBuilder::build(
        decided(Destination::rapport, Rung::dictationCue, PersonMatch{" p-1 ", "Ada L", {}}),
        shared, suggestion);
    EXPECT_EQ(rapport.personID, "p-1");
    EXPECT_EQ(rapport.personName, "Ada Lovelace");
    EXPECT_EQ(rapport.createPerson, true);
    EXPECT_EQ(rapport.socialIdentity,
              (SocialIdentityPayload{.platform = "instagram", .handle = "ada.codes"}));
    EXPECT_EQ(rapport.sourceType, "link");

    // The first suggested name only: a blank first entry is not passed over.
    EXPECT_EQ(build(Destination::bloom, item("x"), suggestion).personName, std::nullopt);
    const auto docket = CaptureRequestBuilder::build(
        decided(Destination::docket, Rung::contentInference, PersonMatch{"p-1", "Ada", {}}), shared,
        suggestion);
    EXPECT_FALSE(docket.personID || docket.personName || docket.createPerson ||
                 docket.socialIdentity);
}

TEST_F(RequestBuilder, CategoriesTitlesTasksAndAttachments) {
    Suggestion suggestion;
    suggestion.cabinetCategory = CabinetCategory::books;
    suggestion.title = "  Dune \n";
    suggestion.entryType = " novel ";
    CaptureItem withImages = item("x");
    withImages.title = "page title";
    withImages.extraScreenshots = std::vector<std::string>(10, "data:image/jpeg;base64,AA");
    const auto cabinet = build(Destination::cabinet, withImages, suggestion, {.makeTask = true});
    EXPECT_EQ(cabinet.category, "books");
    EXPECT_EQ(cabinet.title, "Dune");
    EXPECT_EQ(cabinet.entryType, "novel");
    EXPECT_EQ(cabinet.makeTask, true);
    ASSERT_TRUE(cabinet.attachments);
    EXPECT_EQ(cabinet.attachments->size(), 8u);

    withImages.keepImagesTogether = false;
    const auto stash =
        build(Destination::stash, withImages, std::nullopt,
              {.category = CabinetCategory::games, .makeTask = true, .taskKind = TaskKind::quick});
    EXPECT_EQ(stash.category, std::nullopt);
    EXPECT_EQ(stash.title, "page title");
    EXPECT_EQ(stash.attachments, std::nullopt);
    EXPECT_EQ(stash.taskKind, "quick");

    const auto docket =
        build(Destination::docket, item("x"), {}, {.makeTask = true, .taskKind = TaskKind::quick});
    EXPECT_FALSE(docket.makeTask || docket.taskKind);
}

TEST_F(RequestBuilder, HouseholdFieldsOnlyForHearthWithGroceriesNormalised) {
    Suggestion suggestion;
    suggestion.hearthKind = "recipe";
    suggestion.groceryItems = std::vector<GroceryItem>{GroceryItem{.name = "2 lbs apples"}};
    CaptureItem vendor = item("plumber");
    vendor.contact = ContactCard{.name = "Sam", .organization = " Pipes Ltd "};
    const auto card = build(Destination::hearth, vendor, suggestion);
    EXPECT_EQ(card.hearthKind, "vendor");
    ASSERT_TRUE(card.vendor);
    EXPECT_EQ(card.vendor->name, "Pipes Ltd");
    ASSERT_TRUE(card.groceryItems);
    EXPECT_EQ(card.groceryItems->at(0).quantity, 2.0);

    CaptureItem plain = item("x");
    plain.hearthKind = "pantry";
    EXPECT_EQ(build(Destination::hearth, plain, suggestion, {.hearthKind = HearthKind::vendor})
                  .hearthKind,
              "vendor");
    EXPECT_EQ(build(Destination::hearth, plain, suggestion).hearthKind, "pantry");
    suggestion.groceryItems = std::vector<GroceryItem>{};
    EXPECT_EQ(build(Destination::hearth, item("x"), suggestion).groceryItems,
              std::vector<GroceryItem>{});
    const auto elsewhere = build(Destination::docket, vendor, suggestion);
    EXPECT_FALSE(elsewhere.hearthKind || elsewhere.vendor || elsewhere.groceryItems);
}

TEST_F(RequestBuilder, AudioFieldsNeedAnAudioPathButTheExpiryTravelsAlone) {
    CaptureItem voice = item("x");
    voice.isDictation = true;
    voice.audioDurationSeconds = 12.5;
    voice.audioExpiresAt = dates::parseISO8601("2026-03-01T09:30:00.9Z");
    const auto noAudio = build(Destination::stash, voice);
    EXPECT_FALSE(noAudio.audioMime || noAudio.audioDurationSeconds);
    EXPECT_EQ(noAudio.audioExpiresAt, "2026-03-01T09:30:00Z");
    voice.audioPath = " voice/a.m4a ";
    const auto withAudio = build(Destination::stash, voice);
    EXPECT_EQ(withAudio.audioPath, "voice/a.m4a");
    EXPECT_EQ(withAudio.audioMime, "audio/m4a");
    EXPECT_EQ(withAudio.audioDurationSeconds, 12.5);
    EXPECT_EQ(withAudio.sourceType, "voice_capture");
}

TEST(HearthKinds, EvidenceInOrderCardRecipeItemSuggestion) {
    Suggestion vendorSuggested;
    vendorSuggested.hearthKind = "vendor";
    CaptureItem plain{.text = "x"};
    EXPECT_EQ(hearthKinds::known(plain, std::nullopt), std::nullopt);
    EXPECT_EQ(hearthKinds::known(plain, vendorSuggested), HearthKind::vendor);
    plain.hearthKind = "Recipe";
    EXPECT_EQ(hearthKinds::known(plain, vendorSuggested), HearthKind::vendor);
    plain.hearthKind = "recipe";
    EXPECT_EQ(hearthKinds::known(plain, vendorSuggested), HearthKind::recipe);
    plain.contact = ContactCard{.name = "Sam"};
    plain.recipe = RecipeData{};
    EXPECT_EQ(hearthKinds::known(plain, std::nullopt), HearthKind::vendor);
}
