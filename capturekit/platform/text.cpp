#include <capturekit/platform/text.hpp>

#include <unicode/ubrk.h>
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <memory>
#include <vector>

namespace capturekit::text {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes one code point at `i`, advancing it; malformed input yields U+FFFD and consumes one
// byte (overlong forms, surrogates and values past U+10FFFF are malformed).
char32_t decodeOne(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) {
        return static_cast<unsigned char>(s[k]);
    };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return replacementCharacter;
    }
    if (i + length > s.size()) {
        ++i;
        return replacementCharacter;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return replacementCharacter;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return replacementCharacter;
    }
    i += length;
    return cp;
}

struct BreakIteratorCloser {
    void operator()(UBreakIterator* it) const { ubrk_close(it); }
};
struct UTextCloser {
    void operator()(UText* t) const { utext_close(t); }
};

// Calls `visit(offset)` for each grapheme boundary after the start, in order, until it returns
// false. The text must be valid UTF-8.
template <typename Visit> void forEachGraphemeBoundary(std::string_view valid, Visit visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> utext(
        utext_openUTF8(nullptr, valid.data(), static_cast<int64_t>(valid.size()), &status));
    if (U_FAILURE(status)) {
        return;
    }
    std::unique_ptr<UBreakIterator, BreakIteratorCloser> it(
        ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_FAILURE(status)) {
        return;
    }
    ubrk_setUText(it.get(), utext.get(), &status);
    if (U_FAILURE(status)) {
        return;
    }
    for (int32_t boundary = ubrk_next(it.get()); boundary != UBRK_DONE;
         boundary = ubrk_next(it.get())) {
        if (!visit(static_cast<std::size_t>(boundary))) {
            return;
        }
    }
}

// Byte offset just past the first `count` graphemes of valid UTF-8 text.
std::size_t graphemePrefixLength(std::string_view valid, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    std::size_t seen = 0;
    std::size_t end = valid.size();
    forEachGraphemeBoundary(valid, [&](std::size_t boundary) {
        if (++seen == count) {
            end = boundary;
            return false;
        }
        return true;
    });
    return end;
}

} // namespace

bool isValidUTF8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        if (decodeOne(text, i) == replacementCharacter &&
            text.substr(start, i - start) != "\xEF\xBF\xBD") {
            return false;
        }
    }
    return true;
}

std::string validUTF8(std::string_view text) {
    if (isValidUTF8(text)) {
        return std::string(text);
    }
    return fromCodePoints(codePoints(text));
}

std::u32string codePoints(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        out.push_back(decodeOne(text, i));
    }
    return out;
}

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = replacementCharacter;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string fromCodePoints(std::u32string_view cps) {
    std::string out;
    out.reserve(cps.size());
    for (char32_t cp : cps) {
        appendCodePoint(out, cp);
    }
    return out;
}

bool isWhiteSpaceOrNewline(char32_t cp) {
    return u_isUWhiteSpace(static_cast<UChar32>(cp)) != 0;
}

std::string trimmed(std::string_view text) {
    const std::string valid = validUTF8(text);
    std::string_view view = valid;
    std::size_t start = 0;
    while (start < view.size()) {
        std::size_t next = start;
        if (!isWhiteSpaceOrNewline(decodeOne(view, next))) {
            break;
        }
        start = next;
    }
    std::size_t end = start;
    for (std::size_t i = start; i < view.size();) {
        if (!isWhiteSpaceOrNewline(decodeOne(view, i))) {
            end = i;
        }
    }
    return std::string(view.substr(start, end - start));
}

std::optional<std::string> trimmedNonEmpty(std::string_view text) {
    std::string result = trimmed(text);
    if (result.empty()) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::string> trimmedOptional(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return trimmedNonEmpty(std::string_view(*text));
}

std::string trimmedSpacesAndTabs(std::string_view text) {
    const auto isSpaceOrTab = [](char c) {
        return c == ' ' || c == '\t';
    };
    while (!text.empty() && isSpaceOrTab(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpaceOrTab(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool isBlank(std::string_view text) {
    return trimmed(text).empty();
}

std::string lowercased(std::string_view text) {
    const std::string valid = validUTF8(text);
    UErrorCode status = U_ZERO_ERROR;
    UCaseMap* map = ucasemap_open("", U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) {
        return valid;
    }
    std::string out(valid.size() + 16, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        status = U_ZERO_ERROR;
        const int32_t length =
            ucasemap_utf8ToLower(map, out.data(), static_cast<int32_t>(out.size()), valid.data(),
                                 static_cast<int32_t>(valid.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<std::size_t>(length), '\0');
            continue;
        }
        out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
        break;
    }
    ucasemap_close(map);
    return U_SUCCESS(status) ? out : valid;
}

std::size_t characterCount(std::string_view text) {
    const std::string valid = validUTF8(text);
    std::size_t count = 0;
    forEachGraphemeBoundary(valid, [&](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string characterPrefix(std::string_view text, std::size_t count) {
    const std::string valid = validUTF8(text);
    return valid.substr(0, graphemePrefixLength(valid, count));
}

std::string characterSuffixAfter(std::string_view text, std::size_t count) {
    const std::string valid = validUTF8(text);
    return valid.substr(graphemePrefixLength(valid, count));
}

std::size_t utf16Length(std::string_view text) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size();) {
        length += decodeOne(text, i) >= 0x10000 ? 2 : 1;
    }
    return length;
}

bool isNumber(char32_t cp) {
    return (U_GET_GC_MASK(static_cast<UChar32>(cp)) & U_GC_N_MASK) != 0;
}

bool isLetter(char32_t cp) {
    return (U_GET_GC_MASK(static_cast<UChar32>(cp)) & U_GC_L_MASK) != 0;
}

bool isDigit(char32_t cp) {
    return u_charType(static_cast<UChar32>(cp)) == U_DECIMAL_DIGIT_NUMBER;
}

bool isLetterOrDigit(char32_t cp) {
    return isLetter(cp) || isDigit(cp);
}

std::optional<double> parseDouble(std::string_view text) {
    if (text.empty() || isWhiteSpaceOrNewline(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = strtod_l(copy.c_str(), &end, cLocale);
    if (end != copy.c_str() + copy.size() || errno == ERANGE) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> parseInteger(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out += separator;
        }
        out += parts[i];
    }
    return out;
}

std::string formatDouble(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) {
        return {};
    }
    return std::string(buffer, end);
}

} // namespace capturekit::text
