#include <capturekit/content/image_batch.hpp>

#include <capturekit/platform/text.hpp>

#include <algorithm>

namespace capturekit::ImageBatch {

namespace {

// A limit below zero would make empty groups; every entry holds at least its main image.
std::size_t groupSize(bool keepTogether, int maxAttachments) {
    return keepTogether ? static_cast<std::size_t>(std::max(maxAttachments, 0)) + 1 : 1;
}

std::size_t entryCount(std::size_t imageCount, std::size_t size) {
    return (imageCount + size - 1) / size;
}

} // namespace

bool isScreenshot(const std::vector<std::string>& typeIdentifiers) {
    bool png = false;
    for (const std::string& identifier : typeIdentifiers) {
        const std::string type = text::lowercased(identifier);
        if (type == "public.jpeg" || type == "public.heic" || type == "public.heif") {
            return false;
        }
        png = png || type == "public.png";
    }
    return png;
}

bool keepTogether(int imageCount, int screenshotCount) {
    return imageCount < 2 || screenshotCount != imageCount;
}

std::vector<std::vector<std::string>> plan(const std::optional<std::string>& cover,
                                           const std::vector<std::string>& extras,
                                           bool keepTogether, int maxAttachments) {
    std::vector<std::string> images;
    if (cover) {
        images.push_back(*cover);
    }
    images.insert(images.end(), extras.begin(), extras.end());
    const std::size_t size = groupSize(keepTogether, maxAttachments);
    std::vector<std::vector<std::string>> groups;
    for (std::size_t start = 0; start < images.size(); start += size) {
        const std::size_t end = std::min(images.size(), start + size);
        groups.emplace_back(images.begin() + static_cast<std::ptrdiff_t>(start),
                            images.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return groups;
}

std::optional<std::string> caption(int imageCount, bool keepTogether, int maxAttachments) {
    if (imageCount < 2) {
        return std::nullopt;
    }
    const std::string count = std::to_string(imageCount);
    const std::size_t entries =
        entryCount(static_cast<std::size_t>(imageCount), groupSize(keepTogether, maxAttachments));
    if (!keepTogether) {
        return count + " screenshots — " + std::to_string(entries) + " separate entries";
    }
    if (entries == 1) {
        return count + " photos, kept together";
    }
    return count + " photos — " + std::to_string(entries) + " entries";
}

} // namespace capturekit::ImageBatch
