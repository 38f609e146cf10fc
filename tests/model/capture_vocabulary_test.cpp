#include <capturekit/model/cabinet_category.hpp>
#include <capturekit/model/capture_surface.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/model/hearth_kind.hpp>
#include <capturekit/model/task_kind.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <vector>

using namespace capturekit;

namespace {

template <typename E> class RawValueEnumeration : public testing::Test {};
using Enumerations =
    testing::Types<Destination, HearthKind, CabinetCategory, TaskKind, CaptureSurface>;
TYPED_TEST_SUITE(RawValueEnumeration, Enumerations);

TYPED_TEST(RawValueEnumeration, EveryCaseRoundTripsThroughItsDistinctRawValue) {
    std::set<std::string_view> seen;
    for (const TypeParam value : allCases<TypeParam>()) {
        EXPECT_TRUE(seen.insert(rawValue(value)).second) << rawValue(value);
        EXPECT_EQ(id(value), rawValue(value));
        EXPECT_EQ(fromRawValue<TypeParam>(rawValue(value)), value);
        EXPECT_EQ(fromJson<TypeParam>(toJson(value)), value);
    }
}

TYPED_TEST(RawValueEnumeration, ConstructionIsExactWithoutTrimmingOrCaseFolding) {
    for (const TypeParam value : allCases<TypeParam>()) {
        const std::string raw(rawValue(value));
        EXPECT_EQ(fromRawValue<TypeParam>(" " + raw), std::nullopt);
        EXPECT_EQ(fromRawValue<TypeParam>(raw + "\n"), std::nullopt);
        std::string upper = raw;
        upper[0] = static_cast<char>(std::toupper(upper[0]));
        EXPECT_EQ(fromRawValue<TypeParam>(upper), std::nullopt);
    }
    EXPECT_EQ(fromRawValue<TypeParam>(""), std::nullopt);
}

} // namespace

TEST(CaptureVocabulary, RejectsLookalikesOfRawValues) {
    EXPECT_EQ(fromRawValue<Destination>("diary"), std::nullopt);
    EXPECT_EQ(fromRawValue<Destination>("Stash"), std::nullopt);
    EXPECT_EQ(fromRawValue<TaskKind>("QUICK"), std::nullopt);
    EXPECT_EQ(fromRawValue<CabinetCategory>("video-games"), std::nullopt);
    EXPECT_EQ(fromRawValue<CabinetCategory>("crochet_patterns"), CabinetCategory::crochet_patterns);
}

TEST(CaptureVocabulary, JsonDecodingNamesWhatIsWrong) {
    EXPECT_EQ(fromJson<Destination>(Json("bloom")), Destination::bloom);
    EXPECT_EQ(fromJson<Destination>(Json("diary")).error().kind, CodingError::Kind::unknownValue);
    EXPECT_EQ(fromJson<Destination>(Json(3)).error().kind, CodingError::Kind::wrongType);
    EXPECT_EQ(toJson(Destination::bloom), Json("bloom"));
}

TEST(CaptureVocabulary, BloomIsKnownAsDiaryEverywhereButOnTheWire) {
    for (const Destination destination : allCases<Destination>()) {
        const std::string_view expected =
            destination == Destination::bloom ? "diary" : rawValue(destination);
        EXPECT_EQ(displayName(destination), expected);
        EXPECT_EQ(appKey(destination), expected);
        EXPECT_EQ(webAppSlug(destination), expected);
    }
}

TEST(CaptureVocabulary, DestinationsKeepTheirDeclaredOrderAndAccentFormat) {
    const std::vector<std::string_view> order{"stash",   "docket", "cabinet", "trove",
                                              "rapport", "bloom",  "pulse",   "hearth"};
    std::vector<std::string_view> raw;
    for (const Destination destination : allCases<Destination>()) {
        raw.push_back(rawValue(destination));
        const std::string_view hex = accentHex(destination);
        ASSERT_EQ(hex.size(), 7u);
        EXPECT_EQ(hex[0], '#');
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF", 1), std::string_view::npos) << hex;
    }
    EXPECT_EQ(raw, order);
    EXPECT_EQ(accentHex(Destination::trove), "#EC4899");
    EXPECT_EQ(accentHex(Destination::pulse), "#7C3AED");
}

TEST(CaptureVocabulary, DestinationFlags) {
    std::vector<Destination> refusing;
    std::vector<Destination> privateLanes;
    std::vector<Destination> explicitOnly;
    for (const Destination destination : allCases<Destination>()) {
        if (!acceptsCapture(destination)) {
            refusing.push_back(destination);
        }
        if (isPrivateLane(destination)) {
            privateLanes.push_back(destination);
        }
        if (isExplicitOnly(destination)) {
            explicitOnly.push_back(destination);
        }
    }
    EXPECT_EQ(refusing, std::vector{Destination::pulse});
    EXPECT_EQ(privateLanes, (std::vector{Destination::rapport, Destination::bloom}));
    EXPECT_EQ(explicitOnly, std::vector{Destination::trove});
    EXPECT_EQ(destinations::floor, Destination::stash);
    EXPECT_TRUE(destinations::pending.empty());
}

TEST(CaptureVocabulary, PickersOfferEveryCategoryButCrochetPatternsInOrder) {
    const auto selectable = cabinetCategories::selectable();
    ASSERT_EQ(selectable.size(), 10u);
    EXPECT_EQ(selectable.front(), CabinetCategory::games);
    EXPECT_EQ(selectable.back(), CabinetCategory::models_3d);
    for (std::size_t i = 1; i < selectable.size(); ++i) {
        EXPECT_LT(selectable[i - 1], selectable[i]);
        EXPECT_NE(selectable[i], CabinetCategory::crochet_patterns);
    }
    EXPECT_EQ(displayName(CabinetCategory::movies_shows), "Movies & TV");
}

TEST(CaptureVocabulary, SurfacesThatFixTheirDestination) {
    EXPECT_EQ(explicitDestination(CaptureSurface::rapportShare), Destination::rapport);
    EXPECT_EQ(explicitDestination(CaptureSurface::rapportNoteIntent), Destination::rapport);
    EXPECT_EQ(explicitDestination(CaptureSurface::reflectIntent), Destination::bloom);
    EXPECT_EQ(explicitDestination(CaptureSurface::quickTaskWidget), Destination::docket);
    int open = 0;
    for (const CaptureSurface surface : allCases<CaptureSurface>()) {
        open += explicitDestination(surface) ? 0 : 1;
    }
    EXPECT_EQ(open, 5);
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
