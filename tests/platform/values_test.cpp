// The platform's value helpers: text, JSON, dates, URLs, Base64 and UUIDs, and the log's lines.

#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/url.hpp>
#include <capturekit/platform/uuid.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

using namespace capturekit;
using tarvo::test::ScopedEnvironmentVariable;

TEST(Text, TrimsUnicodeWhiteSpaceAndLowercasesWithoutLocaleRules) {
    EXPECT_EQ(text::trimmed(" \t\n\r\u00A0\u2003hello  world\u2028\u0085\n"), "hello  world");
    EXPECT_EQ(text::trimmed("\n\n"), "");
    EXPECT_EQ(text::trimmedNonEmpty(" \u3000 "), std::nullopt);
    EXPECT_EQ(text::trimmedNonEmpty(" x "), "x");
    // A zero-width space is not white space.
    EXPECT_EQ(text::trimmed("\u200Bx"), "\u200Bx");
    EXPECT_EQ(text::trimmedSpacesAndTabs(" \tstaging\n "), "staging\n");

    EXPECT_EQ(text::lowercased("STAGING"), "staging");
    // Root locale: a dotted capital I keeps its dot, a plain I loses nothing (no Turkish rules).
    EXPECT_EQ(text::lowercased("I\u0130"), "ii\u0307");
    EXPECT_EQ(text::lowercased("ÄÖÜ ΣΑΣ"), "äöü σας");
}

TEST(Text, CountsAndCutsUserPerceivedCharactersAndReplacesMalformedUTF8) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467"; // one character
    const std::string flag = "\U0001F1E9\U0001F1EA";                         // one character
    const std::string accented = "e\u0301";                                  // one character
    const std::string s = family + flag + accented + "x";
    EXPECT_EQ(text::characterCount(s), 4u);
    EXPECT_EQ(text::characterPrefix(s, 2), family + flag);
    EXPECT_EQ(text::characterPrefix(s, 10), s);
    EXPECT_EQ(text::characterPrefix(s, 0), "");
    EXPECT_EQ(text::characterSuffixAfter(s, 3), "x");
    EXPECT_EQ(text::characterCount("\r\n"), 1u);
    EXPECT_EQ(text::utf16Length(family), 8u);
    EXPECT_EQ(text::characterCount(""), 0u);

    EXPECT_EQ(text::validUTF8("a\xFF"
                              "b"),
              "a\uFFFDb");
    EXPECT_EQ(text::validUTF8("\xC0\xAF"), "\uFFFD\uFFFD");           // overlong slash
    EXPECT_EQ(text::validUTF8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(text::validUTF8("\xE2\x82"), "\uFFFD\uFFFD");           // truncated
    EXPECT_TRUE(text::isValidUTF8("ok \uFFFD \U0001F600"));
    EXPECT_EQ(text::characterCount("a\xFF"), 2u);
    EXPECT_EQ(text::trimmed("\xFF "), "\uFFFD");
}

TEST(Text, ClassifiesNumbersLettersAndDigitsAndReadsNumbersInTheCLocaleOnly) {
    EXPECT_TRUE(text::isNumber(U'½'));
    EXPECT_TRUE(text::isNumber(U'٣'));
    EXPECT_TRUE(text::isNumber(U'Ⅻ'));
    EXPECT_FALSE(text::isNumber(U'a'));
    EXPECT_TRUE(text::isDigit(U'٣'));
    EXPECT_FALSE(text::isDigit(U'½'));
    EXPECT_TRUE(text::isLetter(U'ß'));
    EXPECT_TRUE(text::isLetter(U'中'));
    EXPECT_FALSE(text::isLetter(U'-'));
    EXPECT_TRUE(text::isLetterOrDigit(U'7'));

    EXPECT_EQ(text::parseDouble("0.85"), 0.85);
    EXPECT_EQ(text::parseDouble("+1"), 1.0);
    EXPECT_EQ(text::parseDouble("-2.5e1"), -25.0);
    for (const char* bad : {"0,85", "0.85 ", " 0.85", "", "1e999"}) {
        EXPECT_EQ(text::parseDouble(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(text::parseInteger("42"), 42);
    EXPECT_EQ(text::parseInteger("4x"), std::nullopt);
    EXPECT_EQ(text::formatDouble(1.5), "1.5");
    EXPECT_EQ(text::formatDouble(2.0), "2");
}

TEST(JsonHelpers, NothingThrowsAndTypedLookupsGiveAbsentForWrongTypes) {
    for (const char* bad : {"{", "{} x", "\"\xFF\"", ""}) {
        EXPECT_FALSE(json::parse(bad).has_value()) << bad;
    }
    EXPECT_EQ(json::parse(R"({"a":1})"), (Json{{"a", 1}}));
    // Invalid UTF-8 is replaced when dumped.
    EXPECT_EQ(json::dump(Json(std::string("a\xFF"))), "\"a\xEF\xBF\xBD\"");

    const Json j =
        *json::parse(R"({"s":"x","n":2.5,"i":3,"f":3.0,"b":true,"l":["a","b"],"m":["a",1]})");
    EXPECT_EQ(json::string(j, "s"), "x");
    EXPECT_EQ(json::string(j, "n"), std::nullopt);
    EXPECT_EQ(json::number(j, "i"), 3.0);
    EXPECT_EQ(json::integer(j, "f"), 3);
    EXPECT_EQ(json::integer(j, "n"), std::nullopt);
    EXPECT_EQ(json::boolean(j, "b"), true);
    EXPECT_EQ(json::boolean(j, "s"), std::nullopt);
    EXPECT_EQ(json::stringArray(j, "l"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(json::stringArray(j, "m"), std::nullopt);
    EXPECT_EQ(json::string(Json::array(), "s"), std::nullopt);
}

TEST(Dates, ISO8601IsUTCWithZAndTruncatedSecondsAndParsingHonoursOffsetsAndFractions) {
    const Date date = dates::parseISO8601("2026-03-01T09:30:00Z").value();
    EXPECT_EQ(dates::iso8601(date + std::chrono::milliseconds(999)), "2026-03-01T09:30:00Z");
    // Dates before 1970 truncate towards the earlier second, never print a negative fraction.
    EXPECT_EQ(dates::iso8601(dates::parseISO8601("1969-12-31T23:59:59.750Z").value()),
              "1969-12-31T23:59:59Z");
    EXPECT_EQ(dates::parseISO8601("2026-03-01T10:30:00+01:00"), date);
    EXPECT_EQ(dates::parseISO8601("2026-03-01T09:30:00.25Z"),
              date + std::chrono::milliseconds(250));
    for (const char* bad : {"2026-02-30T00:00:00Z", "2026-03-01T24:00:00Z", "2026-03-01T09:30:00",
                            "2026-03-01 09:30:00Z", "2026-3-1T09:30:00Z", "2026-03-01T09:30:00Zx",
                            "2026-03-01T09:30:00.Z", "", "0000-01-01T00:00:00Z"}) {
        EXPECT_FALSE(dates::parseISO8601(bad)) << bad;
    }
}

TEST(Dates, StoredFormCountsSecondsFrom2001AndReadsBackToTheSameMicrosecond) {
    EXPECT_EQ(dates::iso8601(dates::referenceDate), "2001-01-01T00:00:00Z");
    const Date date = dates::fromSecondsSince2001(794050200.5).value();
    EXPECT_EQ(dates::iso8601(date), "2026-03-01T09:30:00Z");
    EXPECT_DOUBLE_EQ(dates::secondsSince2001(date), 794050200.5);
    EXPECT_DOUBLE_EQ(dates::secondsSince1970(date), 1772357400.5);
    for (const double unusable : {std::numeric_limits<double>::infinity(), std::nan(""), 1e300}) {
        EXPECT_FALSE(dates::fromSecondsSince2001(unusable)) << unusable;
    }
    // Doubles near 8e8 seconds cannot hold every microsecond exactly; reading back must round,
    // not truncate, or a stored date comes back one microsecond early.
    for (long long micros : {794050200220153LL, 794050200408744LL, 794050200799308LL, -1LL}) {
        const Date stored = dates::referenceDate + std::chrono::microseconds(micros);
        EXPECT_EQ(dates::fromSecondsSince2001(dates::secondsSince2001(stored)), stored) << micros;
    }
}

TEST(Url, ParsesAbsoluteURLsLowerCasingOnlySchemeAndHostAndSplitsPaths) {
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

TEST(UrlBuilding, HostsComeBareAndAbsolutePathsResolveOnTheSameOriginOnly) {
    EXPECT_EQ(url::host("https://dev.tarvo.app"), "dev.tarvo.app");
    EXPECT_EQ(url::host("http://user:pw@127.0.0.1:54321/x?y"), "127.0.0.1");
    EXPECT_EQ(url::host("http://[::1]:8080/"), "::1");
    EXPECT_EQ(url::host("file:///tmp/x"), std::nullopt);
    EXPECT_EQ(url::host("no scheme here"), std::nullopt);
    EXPECT_EQ(url::origin("https://tarvo.app/docket/?a#b"), "https://tarvo.app");

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

TEST(Encoding, UUIDsAreVersion4UpperCaseAndBase64RoundTripsEveryRemainder) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = makeUUIDString();
        ASSERT_TRUE(isUUIDString(uuid)) << uuid;
        EXPECT_EQ(uuid[14], '4');
        EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos);
        EXPECT_EQ(uuid.find_first_of("abcdef"), std::string::npos);
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);

    const std::string bytes("\x00\xFB\xFF\x10\x7E\xC3", 6);
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::string part = bytes.substr(0, n);
        EXPECT_EQ(base64::decode(base64::encode(part)), part);
        EXPECT_EQ(base64::decodeURL(base64::encodeURLUnpadded(part)), part);
    }
    EXPECT_EQ(base64::encode("\xFB\xFF"), "+/8=");
    EXPECT_EQ(base64::encodeURLUnpadded("\xFB\xFF"), "-_8");
    EXPECT_EQ(base64::decode("Zm9vYg=="), "foob");
    EXPECT_EQ(base64::decode("Zm9vYg"), "foob");
    EXPECT_FALSE(base64::decode("Zm9v!g=="));
    EXPECT_FALSE(base64::decode("Z"));
    EXPECT_FALSE(base64::decodeURL("+/8="));
}

TEST(Log, AStderrEntryIsOneLineAndDebugEntriesAreLeftOut) {
    // A line break inside a message cannot forge a second entry.
    EXPECT_EQ(Logger::stderrLine("s", "c", LogLevel::notice, "a\nb\r\x01\\\tz"),
              "s[c] notice: a\\nb\\r\\x01\\\\\tz\n");
    EXPECT_EQ(Logger::stderrLine("s", "c", LogLevel::info, "bad \xff byte"),
              "s[c] info: bad \xEF\xBF\xBD byte\n");

    const ScopedEnvironmentVariable choice("TARVO_LOG", "stderr");
    const Logger logger("com.merrow.loft.mac", "quick");
    ::testing::internal::CaptureStderr();
    logger.debug("hidden detail");
    logger.info("panel opened");
    logger.fault("multi\nline");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "com.merrow.loft.mac[quick] info: panel opened\n"
              "com.merrow.loft.mac[quick] fault: multi\\nline\n");
}
