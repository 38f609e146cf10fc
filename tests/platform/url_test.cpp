#include <capturekit/platform/url.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

TEST(Url, ParsesComponentsLowerCasingOnlySchemeAndHostAndSplitsPaths) {
    const auto url = Url::parse("HTTPS://WWW.Instagram.com:8443/Some.User/?igsh=1#Top").value();
    EXPECT_EQ(url.scheme, "https");
    EXPECT_EQ(url.host, "www.instagram.com");
    EXPECT_EQ(url.port, 8443);
    EXPECT_EQ(url.path, "/Some.User/");
    EXPECT_EQ(url.query, "igsh=1");
    EXPECT_EQ(url.fragment, "Top");
    EXPECT_EQ(url.pathSegments(), std::vector<std::string>{"Some.User"});

    EXPECT_EQ(Url::parse("https://x.com//in///handle/")->pathSegments(),
              (std::vector<std::string>{"in", "handle"}));
    EXPECT_TRUE(Url::parse("https://x.com")->pathSegments().empty());
    EXPECT_EQ(Url::parse("https://x.com/files/Report.PDF")->pathExtension(), "PDF");
    EXPECT_EQ(Url::parse("https://x.com/files/.hidden")->pathExtension(), "");
    EXPECT_EQ(Url::parse("https://x.com/")->pathExtension(), "");
}

TEST(Url, RejectsTextThatIsNotAnAbsoluteURL) {
    for (const char* bad :
         {"", "not a url", "http://exa mple.com/", "://nohost", "/relative/path"}) {
        EXPECT_FALSE(Url::parse(bad)) << bad;
    }
    EXPECT_FALSE(Url::parse(std::string("http://a.com/\0x", 15)));
}

TEST(UrlBuilding, PathsArePercentEncodedAsUTF8AndAppendedWithOneSlash) {
    EXPECT_EQ(url::encodePath("voice/abc def.m4a"), "voice/abc%20def.m4a");
    EXPECT_EQ(url::encodePath("a/é?#%"), "a/%C3%A9%3F%23%25");
    EXPECT_EQ(url::encodePath("user@host:~x"), "user@host:~x");
    EXPECT_EQ(url::appendingPath("https://a.example", "functions/v1/capture-ingest"),
              "https://a.example/functions/v1/capture-ingest");
    EXPECT_EQ(url::appendingPath("https://a.example/stash/", "/entries/x"),
              "https://a.example/stash/entries/x");
    EXPECT_EQ(url::appendingPath("https://a.example/trove/", "i/ä b?"),
              "https://a.example/trove/i/%C3%A4%20b%3F");
}

TEST(UrlBuilding, HostsComeWithoutUserPortOrBrackets) {
    EXPECT_EQ(url::host("https://dev.tarvo.app"), "dev.tarvo.app");
    EXPECT_EQ(url::host("http://user:pw@127.0.0.1:54321/x?y"), "127.0.0.1");
    EXPECT_EQ(url::host("http://[::1]:8080/"), "::1");
    EXPECT_EQ(url::host("file:///tmp/x"), std::nullopt);
    EXPECT_EQ(url::host("no scheme here"), std::nullopt);
    EXPECT_EQ(url::origin("https://tarvo.app/docket/?a#b"), "https://tarvo.app");
}

TEST(UrlBuilding, AbsolutePathsResolveOnTheSameOriginOnly) {
    const std::string origin = "https://tarvo.app";
    EXPECT_EQ(url::resolvingAbsolutePath(origin, "/docket/"), "https://tarvo.app/docket/");
    EXPECT_EQ(url::resolvingAbsolutePath(origin + "/ignored/path", "/a/./b/../c/?q=1#f"),
              "https://tarvo.app/a/c/?q=1#f");
    EXPECT_EQ(url::resolvingAbsolutePath(origin, "/../../x/"), "https://tarvo.app/x/");
    EXPECT_EQ(url::resolvingAbsolutePath(origin, "/%41b/"), "https://tarvo.app/%41b/");
    // Another host, a relative path, characters a URL cannot hold, a broken escape.
    for (const char* bad : {"//evil.example/", "docket/", "/two words/", "/é/", "/%4/", "/a#b#c"}) {
        EXPECT_EQ(url::resolvingAbsolutePath(origin, bad), std::nullopt) << bad;
    }
}
