#include <capturekit/platform/url.hpp>

#include <gtest/gtest.h>

using capturekit::Url;

TEST(Url, ParsesComponentsAndLowerCasesOnlySchemeAndHost) {
    const auto url = Url::parse("HTTPS://WWW.Instagram.com:8443/Some.User/?igsh=1#Top");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "https");
    EXPECT_EQ(url->host, "www.instagram.com");
    EXPECT_EQ(url->port, 8443);
    EXPECT_EQ(url->path, "/Some.User/");
    EXPECT_EQ(url->query, "igsh=1");
    EXPECT_EQ(url->fragment, "Top");
    EXPECT_EQ(url->pathSegments(), std::vector<std::string>{"Some.User"});
}

TEST(Url, SplitsPathsAndFindsExtensions) {
    EXPECT_EQ(Url::parse("https://x.com//in///handle/")->pathSegments(),
              (std::vector<std::string>{"in", "handle"}));
    EXPECT_EQ(Url::parse("https://x.com/files/Report.PDF")->pathExtension(), "PDF");
    EXPECT_EQ(Url::parse("https://x.com/files/.hidden")->pathExtension(), "");
    EXPECT_EQ(Url::parse("https://x.com/")->pathExtension(), "");
    EXPECT_TRUE(Url::parse("https://x.com")->pathSegments().empty());
}

TEST(Url, RejectsTextThatIsNotAnAbsoluteURL) {
    for (const char* bad :
         {"", "not a url", "http://exa mple.com/", "://nohost", "/relative/path"}) {
        EXPECT_FALSE(Url::parse(bad)) << bad;
    }
    EXPECT_FALSE(Url::parse(std::string("http://a.com/\0x", 15)));
}

TEST(Url, PercentEncodesPathsAsUTF8AndKeepsSlashes) {
    EXPECT_EQ(capturekit::url::encodePath("voice/abc def.m4a"), "voice/abc%20def.m4a");
    EXPECT_EQ(capturekit::url::encodePath("a/é?#%"), "a/%C3%A9%3F%23%25");
    EXPECT_EQ(capturekit::url::encodePath("user@host:~x"), "user@host:~x");
}
