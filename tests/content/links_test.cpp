#include <capturekit/content/google_place_link.hpp>
#include <capturekit/content/image_batch.hpp>
#include <capturekit/content/social_profile.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using Platform = SocialProfile::Platform;

TEST(SocialProfile, ReadsOneSegmentProfilesAndRefusesPostsAndReservedWords) {
    EXPECT_EQ(SocialProfile::from("https://www.instagram.com/Some.User_1/"),
              (SocialProfile{Platform::instagram, "Some.User_1"}));
    EXPECT_EQ(SocialProfile::from("https://instagram.com/p/Cx1/"), std::nullopt);
    EXPECT_EQ(SocialProfile::from("https://instagram.com/explore"), std::nullopt);
    EXPECT_EQ(SocialProfile::from("https://instagram.com/EXPLORE"), std::nullopt);
    EXPECT_EQ(SocialProfile::from("https://mobile.twitter.com/@jack"),
              (SocialProfile{Platform::x, "jack"}));
    EXPECT_EQ(SocialProfile::from("https://x.com/jack/status/1"), std::nullopt);
    EXPECT_EQ(SocialProfile::from("https://example.com/jack"), std::nullopt);
    EXPECT_EQ(SocialProfile::from(std::optional<Url>{}), std::nullopt);
}

TEST(SocialProfile, LinkedInNeedsTheInPrefix) {
    EXPECT_EQ(SocialProfile::from("https://www.linkedin.com/IN/jane-doe/"),
              (SocialProfile{Platform::linkedin, "jane-doe"}));
    EXPECT_EQ(SocialProfile::from("https://m.linkedin.com/in/jane"),
              (SocialProfile{Platform::linkedin, "jane"}));
    EXPECT_EQ(SocialProfile::from("https://linkedin.com/company/acme"), std::nullopt);
    EXPECT_EQ(SocialProfile::from("https://linkedin.com/in"), std::nullopt);
}

TEST(SocialProfile, HandlesAreLimitedToTheirAlphabetAndLength) {
    EXPECT_EQ(SocialProfile::cleanHandle(std::string(100, 'a')), std::string(100, 'a'));
    EXPECT_EQ(SocialProfile::cleanHandle(std::string(101, 'a')), std::nullopt);
    EXPECT_EQ(SocialProfile::cleanHandle("a+b"), std::nullopt);
    EXPECT_EQ(SocialProfile::cleanHandle("@"), std::nullopt);
    EXPECT_EQ(SocialProfile::cleanHandle("@@a"), std::nullopt);
    EXPECT_EQ(SocialProfile::cleanHandle("jos%C3%A9"), std::nullopt);
    EXPECT_EQ(SocialProfile::platformFromRawValue("linkedin"), Platform::linkedin);
    EXPECT_EQ(SocialProfile::platformFromRawValue("X"), std::nullopt);
}

TEST(GooglePlaceLink, MatchesMapsHostsAndOnlyMapPathsOnTheMainHost) {
    EXPECT_TRUE(GooglePlaceLink::matches("https://maps.app.goo.gl/AbC123"));
    EXPECT_TRUE(GooglePlaceLink::matches("HTTP://Maps.Google.com/?q=cafe"));
    EXPECT_TRUE(GooglePlaceLink::matches("https://www.google.com/maps/place/Cafe"));
    EXPECT_TRUE(GooglePlaceLink::matches("https://google.com/search?q=cafe"));
    EXPECT_TRUE(GooglePlaceLink::matches("https://google.com/share.google/xyz"));
    EXPECT_FALSE(GooglePlaceLink::matches("https://www.google.com/imghp"));
    EXPECT_FALSE(GooglePlaceLink::matches("ftp://maps.google.com/x"));
    EXPECT_FALSE(GooglePlaceLink::matches("https://maps.google.com.evil.example/x"));
    EXPECT_FALSE(GooglePlaceLink::matches("maps.google.com"));
    EXPECT_FALSE(GooglePlaceLink::matches(std::nullopt));
}

TEST(ImageBatch, ScreenshotsArePNGsWithoutPhotoTypes) {
    EXPECT_TRUE(ImageBatch::isScreenshot({"PUBLIC.PNG"}));
    EXPECT_FALSE(ImageBatch::isScreenshot({"public.png", "public.jpeg"}));
    EXPECT_FALSE(ImageBatch::isScreenshot({"public.heif", "public.png"}));
    EXPECT_FALSE(ImageBatch::isScreenshot({}));
    EXPECT_TRUE(ImageBatch::keepTogether(1, 1));
    EXPECT_TRUE(ImageBatch::keepTogether(3, 2));
    EXPECT_FALSE(ImageBatch::keepTogether(3, 3));
}

TEST(ImageBatch, PlansGroupsAndCaptionsAgree) {
    const std::vector<std::string> nine = {"2", "3", "4", "5", "6", "7", "8", "9", "10"};
    const auto grouped = ImageBatch::plan("1", nine, true, 4);
    ASSERT_EQ(grouped.size(), 2u);
    EXPECT_EQ(grouped[0], (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(grouped[1].front(), "6");
    EXPECT_EQ(ImageBatch::caption(10, true, 4), "10 photos — 2 entries");
    EXPECT_EQ(ImageBatch::caption(3, true, 8), "3 photos, kept together");
    EXPECT_EQ(ImageBatch::plan(std::nullopt, {"a", "b", "c"}, true, 8).size(), 1u);
    for (const int limit : {0, 1, 8}) {
        EXPECT_EQ(ImageBatch::caption(5, false, limit), "5 screenshots — 5 separate entries");
    }
    EXPECT_EQ(ImageBatch::plan(std::nullopt, {}, true, 8).size(), 0u);
    EXPECT_EQ(ImageBatch::caption(1, true, 8), std::nullopt);
    // A negative limit still makes entries of at least one image instead of looping forever.
    EXPECT_EQ(ImageBatch::plan("a", {"b"}, true, -3).size(), 2u);
}
