#include <desktop/model/window_title.hpp>

#include <capturekit/platform/text.hpp>

namespace tarvo::desktop {

using namespace capturekit;

std::optional<std::string>
titleWithoutApplication(std::string_view title, std::optional<std::string_view> applicationName,
                        std::initializer_list<std::string_view> separators) {
    std::string cleaned = text::validUTF8(title);
    if (applicationName && !applicationName->empty()) {
        for (const std::string_view separator : separators) {
            const std::string suffix = std::string(separator) + std::string(*applicationName);
            if (cleaned.ends_with(suffix)) {
                cleaned.resize(cleaned.size() - suffix.size());
                break;
            }
        }
    }
    return text::trimmedNonEmpty(cleaned);
}

std::optional<std::string> cleanWindowTitle(std::string_view title,
                                            std::optional<std::string_view> applicationName) {
    const auto cleaned =
        titleWithoutApplication(title, applicationName, {" — ", " - ", " – ", " | "});
    if (!cleaned) {
        return std::nullopt;
    }
    return text::characterPrefix(*cleaned, maxWindowTitleCharacters);
}

} // namespace tarvo::desktop
