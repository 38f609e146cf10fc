#include <capturekit/content/page_render_policy.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
namespace policy = capturekit::PageRenderPolicy;

TEST(PageRenderPolicy, RendersOnlyWebPagesWithoutText) {
    EXPECT_TRUE(policy::shouldRender("https://example.com/article", std::nullopt));
    EXPECT_TRUE(policy::shouldRender("https://example.com/article", "  \n"));
    EXPECT_FALSE(policy::shouldRender("https://example.com/article", "some text"));
    EXPECT_FALSE(policy::shouldRender("https://example.com/Report.PDF", std::nullopt));
    EXPECT_FALSE(policy::shouldRender("ftp://example.com/a", std::nullopt));
    EXPECT_FALSE(policy::shouldRender(" ", std::nullopt));
    EXPECT_FALSE(policy::shouldRender(std::nullopt, std::nullopt));
}

TEST(PageRenderPolicy, WeakSeedsArePromotedWhenTheExtractIsSubstantial) {
    const std::string longText(250, 'w');
    EXPECT_TRUE(policy::isWeakSeed(std::nullopt));
    EXPECT_TRUE(policy::isWeakSeed("Check this Share Link"));
    EXPECT_TRUE(policy::isWeakSeed("see HTTPS://x.y"));
    EXPECT_TRUE(policy::isWeakSeed("A headline that trails off…"));
    EXPECT_FALSE(policy::isWeakSeed(std::string(200, 'a') + "..."));
    EXPECT_FALSE(policy::isWeakSeed("A full sentence."));

    EXPECT_FALSE(policy::shouldPromote(std::nullopt, std::string(199, 'x')));
    EXPECT_TRUE(policy::shouldPromote(std::nullopt, longText));
    EXPECT_FALSE(policy::shouldPromote(std::string(200, 's'), std::string(5000, 'x')));
    // Otherwise the extract must be more than four times the seed.
    EXPECT_TRUE(policy::shouldPromote(std::string(50, 's'), longText));
    EXPECT_FALSE(policy::shouldPromote(std::string(70, 's'), longText));
}

TEST(PageRenderPolicy, LoginWallsAndThinContent) {
    EXPECT_TRUE(policy::looksLikeLoginWall("Log in to continue. Forgot password?"));
    EXPECT_FALSE(policy::looksLikeLoginWall("Log in"));
    EXPECT_FALSE(policy::looksLikeLoginWall(std::string(2000, 'x') + " log in to continue"));

    const std::string rich(130, 'r');
    EXPECT_FALSE(policy::isThin(std::nullopt, std::nullopt, false, false));
    EXPECT_FALSE(policy::isThin(std::nullopt, std::nullopt, true, true));
    EXPECT_FALSE(policy::isThin(std::nullopt, rich, false, true));
    EXPECT_TRUE(policy::isThin(std::nullopt, "Log in to continue. " + rich, false, true));
    EXPECT_TRUE(policy::isThin("short", std::nullopt, false, true));
    EXPECT_FALSE(policy::isThin(rich, std::nullopt, false, true));
}

TEST(PageRenderPolicy, NormalizeCollapsesSpacingAndBlankLines) {
    EXPECT_EQ(policy::normalize("a\r\n\n\n\n\n\nb", 100), "a\n\nb");
    EXPECT_EQ(policy::normalize("  a \t\u00A0 b  \n  c ", 100), "a b\nc");
    EXPECT_EQ(policy::normalize("a \n \n \n b", 100), "a\n\nb");
    EXPECT_EQ(policy::normalize(" \n\t ", 100), std::nullopt);
    EXPECT_EQ(policy::normalize("héllo wörld", 4), "héll");
}

TEST(PageRenderPolicy, LeadCutsAtAWordInTheSecondHalf) {
    EXPECT_EQ(policy::lead("abcdefghijk", 10), "abcdefghij…");
    EXPECT_EQ(policy::lead("short", 10), "short");
    EXPECT_EQ(policy::lead("hello wonderful world", 18), "hello wonderful…");
    EXPECT_EQ(policy::lead("hi abcdefghijklmnop", 10), "hi abcdefg…");
    EXPECT_EQ(policy::lead("ééééé ééééé", 8), "ééééé…");
}
