#pragma once

// Unicode text helpers. Every string is UTF-8. "Characters" are user-perceived characters
// (extended grapheme clusters); lower-casing is locale-independent.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit::text {

// The text with invalid UTF-8 sequences replaced by U+FFFD.
std::string validUTF8(std::string_view text);
bool isValidUTF8(std::string_view text);

// Decodes the text into code points (bad bytes become U+FFFD) and back.
std::u32string codePoints(std::string_view text);
std::string fromCodePoints(std::u32string_view codePoints);
void appendCodePoint(std::string& out, char32_t codePoint);

// Trims Unicode white space and line breaks at both ends.
std::string trimmed(std::string_view text);
// Trimmed, with an empty result counting as absent.
std::optional<std::string> trimmedNonEmpty(std::string_view text);
std::optional<std::string> trimmedOptional(const std::optional<std::string>& text);
// Trims only spaces and tabs at both ends (line breaks stay).
std::string trimmedSpacesAndTabs(std::string_view text);

bool isWhiteSpaceOrNewline(char32_t codePoint);
bool isBlank(std::string_view text);

// Locale-independent lower-casing (the root locale's full case mapping).
std::string lowercased(std::string_view text);

// Number of extended grapheme clusters.
std::size_t characterCount(std::string_view text);
// The first `count` extended grapheme clusters.
std::string characterPrefix(std::string_view text, std::size_t count);
// The text without its first `count` extended grapheme clusters.
std::string characterSuffixAfter(std::string_view text, std::size_t count);
// Number of UTF-16 code units.
std::size_t utf16Length(std::string_view text);

// Unicode general categories: N* (number), L* (letter), Nd (decimal digit).
bool isNumber(char32_t codePoint);
bool isLetter(char32_t codePoint);
bool isDigit(char32_t codePoint);
bool isLetterOrDigit(char32_t codePoint);

// Reads a decimal number in the C locale that must consume the whole text.
std::optional<double> parseDouble(std::string_view text);
std::optional<long long> parseInteger(std::string_view text);

// The parts joined with `separator` between them.
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

// Formats a number as the shortest text that reads back to the same value ("1.5", "2").
std::string formatDouble(double value);

} // namespace capturekit::text
