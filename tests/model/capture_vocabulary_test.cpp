#include <capturekit/model/cabinet_category.hpp>
#include <capturekit/model/capture_surface.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/model/hearth_kind.hpp>
#include <capturekit/model/task_kind.hpp>

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>

using namespace capturekit;

namespace {

template <typename E> class RawValueEnumeration : public testing::Test {};
using Enumerations =
    testing::Types<Destination, HearthKind, CabinetCategory, TaskKind, CaptureSurface>;
TYPED_TEST_SUITE(RawValueEnumeration, Enumerations);

TYPED_TEST(RawValueEnumeration, EveryCaseRoundTripsThroughItsDistinctExactRawValue) {
    std::set<std::string_view> seen;
    for (const TypeParam value : allCases<TypeParam>()) {
        const std::string raw(rawValue(value));
        EXPECT_TRUE(seen.insert(rawValue(value)).second) << raw;
        EXPECT_EQ(id(value), raw);
        EXPECT_EQ(fromRawValue<TypeParam>(raw), value);
        EXPECT_EQ(fromJson<TypeParam>(toJson(value)), value);
        // No trimming and no case folding.
        EXPECT_EQ(fromRawValue<TypeParam>(" " + raw), std::nullopt);
        std::string upper = raw;
        upper[0] = static_cast<char>(std::toupper(upper[0]));
        EXPECT_EQ(fromRawValue<TypeParam>(upper), std::nullopt);
    }
    EXPECT_EQ(fromJson<TypeParam>(Json("unknown")).error().kind, CodingError::Kind::unknownValue);
    EXPECT_EQ(fromJson<TypeParam>(Json(3)).error().kind, CodingError::Kind::wrongType);
}

} // namespace

TEST(CaptureVocabulary, BloomIsKnownAsDiaryEverywhereButOnTheWire) {
    for (const Destination destination : allCases<Destination>()) {
        const std::string_view expected =
            destination == Destination::bloom ? "diary" : rawValue(destination);
        EXPECT_EQ(displayName(destination), expected);
        EXPECT_EQ(appKey(destination), expected);
        EXPECT_EQ(webAppSlug(destination), expected);
    }
    EXPECT_EQ(fromRawValue<Destination>("diary"), std::nullopt);
}

TEST(CaptureVocabulary, PickersOfferEveryCategoryButCrochetPatternsInOrder) {
    const auto selectable = cabinetCategories::selectable();
    EXPECT_EQ(selectable.size() + 1, allCases<CabinetCategory>().size());
    for (std::size_t i = 1; i < selectable.size(); ++i) {
        EXPECT_LT(selectable[i - 1], selectable[i]);
        EXPECT_NE(selectable[i], CabinetCategory::crochet_patterns);
    }
    EXPECT_EQ(displayName(CabinetCategory::movies_shows), "Movies & TV");
}

TEST(CaptureVocabulary, EveryDestinationShipsAPngIconNamedAfterItsDisplayName) {
    for (const Destination destination : allCases<Destination>()) {
        const auto url = bundledIconURL(destination);
        ASSERT_TRUE(url) << rawValue(destination);
        const std::string suffix = "/AppIcons/" + std::string(displayName(destination)) + ".png";
        ASSERT_TRUE(url->starts_with("file:///")) << *url;
        ASSERT_TRUE(url->ends_with(suffix)) << *url;
        std::ifstream file(url->substr(7), std::ios::binary);
        char signature[8] = {};
        file.read(signature, sizeof signature);
        EXPECT_EQ(std::string(signature, 8), "\x89PNG\r\n\x1A\n") << *url;
    }
}
