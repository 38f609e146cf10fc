#pragma once

// Decides whether shared images are screenshots, whether they stay together in one entry or
// become separate entries, and words that decision.

#include <optional>
#include <string>
#include <vector>

namespace capturekit::ImageBatch {

// True when the type identifiers include "public.png" and no JPEG or HEIC/HEIF type.
bool isScreenshot(const std::vector<std::string>& typeIdentifiers);

// Photos stay in one group; a batch made only of screenshots is split.
bool keepTogether(int imageCount, int screenshotCount);

// The images (cover first, then extras) cut into consecutive groups: maxAttachments + 1 images
// each when kept together, one each otherwise. Each group becomes one entry.
std::vector<std::vector<std::string>> plan(const std::optional<std::string>& cover,
                                           const std::vector<std::string>& extras,
                                           bool keepTogether, int maxAttachments);

// "5 screenshots — 5 separate entries", "3 photos, kept together", "10 photos — 2 entries";
// absent for fewer than two images.
std::optional<std::string> caption(int imageCount, bool keepTogether, int maxAttachments);

} // namespace capturekit::ImageBatch
