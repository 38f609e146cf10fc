#pragma once

// Decides whether a shared web page must be rendered to get its text, whether the text obtained
// is too thin to use, and how page text is cleaned and shortened.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit::PageRenderPolicy {

inline constexpr std::size_t maxPageTextLength = 100000;
inline constexpr std::size_t maxPromotedSeedLength = 2000;
inline constexpr std::size_t thinContentThreshold = 120;

bool shouldRender(const std::optional<std::string>& url,
                  const std::optional<std::string>& existingPageText);
bool isWeakSeed(const std::optional<std::string>& seed);
bool shouldPromote(const std::optional<std::string>& seed, std::string_view extracted);
bool looksLikeLoginWall(std::string_view text);
bool isThin(const std::optional<std::string>& content, const std::optional<std::string>& pageText,
            bool hasImage, bool hasURL);
// Collapses spacing and blank lines, trims, and cuts to `limit` characters; absent when empty.
std::optional<std::string> normalize(std::string_view text, std::size_t limit);
// At most `max` characters, cut at a word boundary in the second half when there is one, with
// "…" appended when anything was cut.
std::string lead(std::string_view text, std::size_t max);

} // namespace capturekit::PageRenderPolicy
