#pragma once

// The frontmost window's title as a screenshot carries it: the application's own name taken off
// the end, trimmed, and cut to a length that still reads as a name hint.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

inline constexpr std::size_t maxWindowTitleCharacters = 120;

// The title, as valid UTF-8, without the first of `separators` followed by the application's name
// that ends it, trimmed; absent when nothing is left.
std::optional<std::string>
titleWithoutApplication(std::string_view title, std::optional<std::string_view> applicationName,
                        std::initializer_list<std::string_view> separators);

// Strips the first of " — NAME", " - NAME", " – NAME", " | NAME" that ends the title (when the
// application has a name), trims it, and keeps at most its first 120 characters. Absent when
// nothing is left.
std::optional<std::string> cleanWindowTitle(std::string_view title,
                                            std::optional<std::string_view> applicationName);

// Gives the cleaned title of the frontmost application's focused window, when it can be had.
using WindowTitleSource = std::function<std::optional<std::string>()>;

} // namespace tarvo::desktop
