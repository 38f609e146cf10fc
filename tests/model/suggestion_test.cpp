#include <capturekit/model/suggestion.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

namespace {

Suggestion decoded(const char* body) {
    const auto suggestion = Suggestion::decode(body);
    EXPECT_TRUE(suggestion) << body;
    return suggestion.value_or(Suggestion{});
}

} // namespace

TEST(Suggestion, DestinationsAreLowerCasedAndNeverTheHandPickedOne) {
    const Suggestion s = decoded(R"({"destination":"Docket","confidence":"0.85",
                                     "hint_destination":"CABINET"})");
    EXPECT_EQ(s.destination, Destination::docket);
    EXPECT_EQ(s.hintDestination, Destination::cabinet);
    EXPECT_DOUBLE_EQ(s.confidence, 0.85);

    const Suggestion trove = decoded(R"({"destination":"trove","confidence":0.9})");
    EXPECT_EQ(trove.destination, std::nullopt);
    EXPECT_DOUBLE_EQ(trove.confidence, 0.9);
    EXPECT_EQ(decoded(R"({"destination":"diary"})").destination, std::nullopt);
    EXPECT_EQ(decoded(R"({"destination":7})").destination, std::nullopt);
}

TEST(Suggestion, ConfidenceStringsMustBeWholeNumbers) {
    for (const char* body :
         {R"({"confidence":" 0.5"})", R"({"confidence":"0.5abc"})", R"({"confidence":"0,5"})",
          R"({"confidence":"inf"})", R"({"confidence":null})", R"({})"}) {
        EXPECT_EQ(decoded(body).confidence, 0) << body;
    }
    EXPECT_DOUBLE_EQ(decoded(R"({"confidence":"1e-1"})").confidence, 0.1);
}

TEST(Suggestion, PersonMatchAcceptsAlternativeSpellingsAndFailsWithoutAName) {
    const Suggestion s =
        decoded(R"({"person_match":{"id":"p-7","display_name":"  Ada Lovelace \n","score":0.7}})");
    ASSERT_TRUE(s.personMatch);
    EXPECT_EQ(s.personMatch->personID, "p-7");
    EXPECT_EQ(s.personMatch->name, "Ada Lovelace");
    EXPECT_EQ(s.personMatch->confidence, 0.7);

    EXPECT_FALSE(decoded(R"({"person_match":{"person_id":"p-1"}})").personMatch);
    const auto inner = PersonMatch::fromJson(*json::parse(R"({"person_id":"p-1"})"));
    ASSERT_FALSE(inner);
    EXPECT_EQ(inner.error().description(),
              "person_match carried neither `name` nor `display_name`");
    // A blank name is not replaced by the display name.
    EXPECT_FALSE(PersonMatch::fromJson(*json::parse(R"({"name":" ","display_name":"Bo"})")));
    EXPECT_EQ(PersonMatch::fromJson(*json::parse(R"({"name":5,"display_name":"Bo"})"))->name, "Bo");
}

TEST(Suggestion, CategoriesGroceriesAndHearthKindsAreReadFieldByField) {
    const Suggestion unknown = decoded(R"({"cabinet_category":"vinyl_records"})");
    EXPECT_EQ(unknown.rawCabinetCategory, "vinyl_records");
    EXPECT_EQ(unknown.cabinetCategory, std::nullopt);
    EXPECT_EQ(decoded(R"({"cabinet_category":"BOOKS"})").cabinetCategory, CabinetCategory::books);

    const Suggestion groceries =
        decoded(R"({"grocery_items":[{"name":"milk","quantity":2,"unit":"l"},{"quantity":1}],
                    "title":"Shop","person_names":["a",1]})");
    EXPECT_EQ(groceries.groceryItems, std::nullopt);
    EXPECT_EQ(groceries.title, "Shop");
    EXPECT_EQ(groceries.personNames, std::nullopt);
    EXPECT_EQ(decoded(R"({"grocery_items":[]})").groceryItems, std::vector<GroceryItem>{});

    EXPECT_EQ(decoded(R"({"hearth_kind":"  \n "})").hearthKind, std::nullopt);
    EXPECT_EQ(decoded(R"({"hearth_kind":" recipe "})").hearthKind, "recipe");

    EXPECT_FALSE(Suggestion::decode("[1,2]"));
    EXPECT_FALSE(Suggestion::decode("{"));
}

TEST(Suggestion, EncodingWritesConfidenceAlwaysAndOnlyKnownCategories) {
    Suggestion s;
    s.rawCabinetCategory = "vinyl_records";
    EXPECT_EQ(json::dump(*s.toJson()), R"({"confidence":0.0})");
}
