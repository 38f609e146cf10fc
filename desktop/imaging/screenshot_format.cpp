#include <desktop/imaging/screenshot_format.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace tarvo::desktop {

namespace {

constexpr std::array<std::pair<std::string_view, ScreenshotFormat>, 5> extensions{{
    {"png", ScreenshotFormat::png},
    {"jpg", ScreenshotFormat::jpeg},
    {"jpeg", ScreenshotFormat::jpeg},
    {"gif", ScreenshotFormat::gif},
    {"tiff", ScreenshotFormat::tiff},
}};

constexpr std::array<std::pair<std::string_view, ScreenshotFormat>, 6> signatures{{
    {{"\x89PNG\r\n\x1a\n", 8}, ScreenshotFormat::png},
    {"\xFF\xD8\xFF", ScreenshotFormat::jpeg},
    {"GIF87a", ScreenshotFormat::gif},
    {"GIF89a", ScreenshotFormat::gif},
    {{"II*\0", 4}, ScreenshotFormat::tiff},
    {{"MM\0*", 4}, ScreenshotFormat::tiff},
}};

// ASCII only, and cheap: the watcher asks this of every name in the folder at every scan.
std::string lowercasedASCII(std::string_view text) {
    std::string lowered(text);
    std::ranges::transform(lowered, lowered.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lowered;
}

} // namespace

std::optional<ScreenshotFormat> screenshotFormatOfName(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (fileName.empty() || fileName.front() == '.' || dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string extension = lowercasedASCII(fileName.substr(dot + 1));
    const auto found =
        std::ranges::find(extensions, extension, [](const auto& entry) { return entry.first; });
    return found == extensions.end() ? std::nullopt : std::optional(found->second);
}

std::optional<ScreenshotFormat> screenshotFormatOfBytes(std::string_view bytes) {
    const auto found = std::ranges::find_if(
        signatures, [&](const auto& entry) { return bytes.starts_with(entry.first); });
    return found == signatures.end() ? std::nullopt : std::optional(found->second);
}

const char* qtFormatName(ScreenshotFormat format) {
    switch (format) {
    case ScreenshotFormat::png:
        return "png";
    case ScreenshotFormat::jpeg:
        return "jpeg";
    case ScreenshotFormat::gif:
        return "gif";
    case ScreenshotFormat::tiff:
        return "tiff";
    }
    return "";
}

} // namespace tarvo::desktop
