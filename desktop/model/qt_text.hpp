#pragma once

// Library text (UTF-8) as Qt text; an absent text is the empty string.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

inline QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString qtText(const std::string& text) {
    return qtText(std::string_view(text));
}

inline QString qtText(const char* text) {
    return qtText(std::string_view(text));
}

inline QString qtText(const std::optional<std::string>& text) {
    return text ? qtText(*text) : QString();
}

} // namespace tarvo::desktop
