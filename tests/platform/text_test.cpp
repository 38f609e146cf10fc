#include <capturekit/platform/text.hpp>

#include <gtest/gtest.h>

namespace text = capturekit::text;

TEST(Text, TrimsUnicodeWhiteSpaceAndLineBreaksButNothingInside) {
    EXPECT_EQ(text::trimmed(" \t\n\r\u00A0\u2003hello  world\u2028\u0085\n"), "hello  world");
    EXPECT_EQ(text::trimmed("\n\n"), "");
    EXPECT_EQ(text::trimmedNonEmpty(" \u3000 "), std::nullopt);
    EXPECT_EQ(text::trimmedNonEmpty(" x "), "x");
    // A zero-width space is not white space.
    EXPECT_EQ(text::trimmed("\u200Bx"), "\u200Bx");
    EXPECT_EQ(text::trimmedSpacesAndTabs(" \tstaging\n "), "staging\n");
}

TEST(Text, LowercasesWithoutLocaleRules) {
    EXPECT_EQ(text::lowercased("STAGING"), "staging");
    // Root locale: a dotted capital I keeps its dot, a plain I loses nothing (no Turkish rules).
    EXPECT_EQ(text::lowercased("I\u0130"), "ii\u0307");
    EXPECT_EQ(text::lowercased("ÄÖÜ ΣΑΣ"), "äöü σας");
}

TEST(Text, CountsAndCutsUserPerceivedCharacters) {
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
}

TEST(Text, ReplacesMalformedUTF8) {
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

TEST(Text, ClassifiesNumbersLettersAndDigits) {
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
}

TEST(Text, ReadsWholeNumbersInTheCLocaleOnly) {
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
