#include <desktop/model/window_title.hpp>

#include <capturekit/platform/text.hpp>

#include <array>

namespace tarvo::desktop {

using namespace capturekit;

std::optional<std::string> cleanWindowTitle(std::string_view title,
                                            std::optional<std::string_view> applicationName) {
    std::string cleaned = text::validUTF8(title);
    if (applicationName && !applicationName->empty()) {
        constexpr std::array<std::string_view, 4> separators{" — ", " - ", " – ", " | "};
        for (const std::string_view separator : separators) {
            const std::string suffix = std::string(separator) + std::string(*applicationName);
            if (cleaned.ends_with(suffix)) {
                cleaned.resize(cleaned.size() - suffix.size());
                break;
            }
        }
    }
    auto trimmed = text::trimmedNonEmpty(cleaned);
    if (!trimmed) {
        return std::nullopt;
    }
    return text::characterPrefix(*trimmed, maxWindowTitleCharacters);
}

} // namespace tarvo::desktop
