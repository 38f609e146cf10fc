#include <capturekit/content/page_render_policy.hpp>

#include <capturekit/platform/text.hpp>
#include <capturekit/platform/url.hpp>

#include <algorithm>
#include <array>

namespace capturekit::PageRenderPolicy {

namespace {

constexpr std::size_t strongSeedLength = 200;
constexpr std::size_t loginWallMaxLength = 2000;

constexpr std::array<std::string_view, 19> nonPageExtensions = {
    "jpg", "jpeg", "png", "gif", "heic", "webp", "bmp", "svg", "mp4", "mov",
    "m4v", "avi",  "mp3", "m4a", "wav",  "pdf",  "zip", "dmg", "pkg"};
constexpr std::array<std::string_view, 5> loginWallWords = {"log in", "log into", "login",
                                                            "sign in", "sign up"};
constexpr std::array<std::string_view, 9> loginWallPhrases = {
    "create new account", "create account",     "forgotten account",
    "forgot password",    "forgotten password", "to continue",
    "to see more",        "see more of",        "already have an account"};

template <std::size_t N>
bool containsAny(std::string_view text, const std::array<std::string_view, N>& needles) {
    return std::any_of(needles.begin(), needles.end(), [&](std::string_view needle) {
        return text.find(needle) != std::string_view::npos;
    });
}

bool isSpaceLike(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\u00A0';
}

// "\r\n" becomes "\n" and each run of spaces, tabs and no-break spaces one space.
std::u32string collapseSpacing(std::string_view text) {
    const std::u32string input = text::codePoints(text);
    std::u32string out;
    out.reserve(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == U'\r' && i + 1 < input.size() && input[i + 1] == U'\n') {
            continue;
        }
        if (isSpaceLike(input[i])) {
            if (out.empty() || out.back() != U' ') {
                out.push_back(U' ');
            }
            continue;
        }
        out.push_back(input[i]);
    }
    return out;
}

// Drops a space beside a newline, then caps every run of newlines at two.
std::u32string tidyLineBreaks(const std::u32string& input) {
    std::u32string withoutEdges;
    withoutEdges.reserve(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        const bool besideNewline =
            (i > 0 && input[i - 1] == U'\n') || (i + 1 < input.size() && input[i + 1] == U'\n');
        if (input[i] == U' ' && besideNewline) {
            continue;
        }
        withoutEdges.push_back(input[i]);
    }
    std::u32string out;
    out.reserve(withoutEdges.size());
    std::size_t newlineRun = 0;
    for (const char32_t c : withoutEdges) {
        newlineRun = c == U'\n' ? newlineRun + 1 : 0;
        if (newlineRun <= 2) {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

bool shouldRender(const std::optional<std::string>& url,
                  const std::optional<std::string>& existingPageText) {
    if (existingPageText && !text::isBlank(*existingPageText)) {
        return false;
    }
    if (!url || text::isBlank(*url)) {
        return false;
    }
    const auto parsed = Url::parse(*url);
    if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) {
        return false;
    }
    const std::string extension = text::lowercased(parsed->pathExtension());
    return std::find(nonPageExtensions.begin(), nonPageExtensions.end(), extension) ==
           nonPageExtensions.end();
}

bool isWeakSeed(const std::optional<std::string>& seed) {
    if (!seed || text::isBlank(*seed)) {
        return true;
    }
    const std::string lower = text::lowercased(*seed);
    if (lower.find("share link") != std::string::npos || lower.find("http") != std::string::npos) {
        return true;
    }
    const bool ellipsis = seed->ends_with("…") || seed->ends_with("...");
    return ellipsis && text::characterCount(*seed) < strongSeedLength;
}

bool shouldPromote(const std::optional<std::string>& seed, std::string_view extracted) {
    const std::size_t extractedLength = text::characterCount(extracted);
    if (extractedLength < strongSeedLength) {
        return false;
    }
    if (isWeakSeed(seed)) {
        return true;
    }
    const std::size_t seedLength = text::characterCount(text::trimmed(*seed));
    if (seedLength >= strongSeedLength) {
        return false;
    }
    return extractedLength > 4 * seedLength;
}

bool looksLikeLoginWall(std::string_view text) {
    if (text::characterCount(text) >= loginWallMaxLength) {
        return false;
    }
    const std::string lower = text::lowercased(text);
    return containsAny(lower, loginWallWords) && containsAny(lower, loginWallPhrases);
}

bool isThin(const std::optional<std::string>& content, const std::optional<std::string>& pageText,
            bool hasImage, bool hasURL) {
    if (!hasURL || hasImage) {
        return false;
    }
    const std::string page = text::trimmed(pageText.value_or(""));
    if (text::characterCount(page) >= thinContentThreshold && !looksLikeLoginWall(page)) {
        return false;
    }
    if (!content || text::isBlank(*content) || isWeakSeed(content)) {
        return true;
    }
    return text::characterCount(text::trimmed(*content)) < thinContentThreshold;
}

std::optional<std::string> normalize(std::string_view text, std::size_t limit) {
    const std::string tidy =
        text::trimmed(text::fromCodePoints(tidyLineBreaks(collapseSpacing(text))));
    if (tidy.empty()) {
        return std::nullopt;
    }
    return text::characterPrefix(tidy, limit);
}

std::string lead(std::string_view text, std::size_t max) {
    if (text::characterCount(text) <= max) {
        return std::string(text);
    }
    const std::string prefix = text::characterPrefix(text, max);
    const std::size_t breakAt = prefix.find_last_of(" \n");
    if (breakAt != std::string::npos &&
        text::characterCount(std::string_view(prefix).substr(0, breakAt)) > max / 2) {
        return text::trimmed(std::string_view(prefix).substr(0, breakAt)) + "…";
    }
    return prefix + "…";
}

} // namespace capturekit::PageRenderPolicy
