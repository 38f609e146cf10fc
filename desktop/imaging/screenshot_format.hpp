#pragma once

// The image formats a screenshot may come in, as the file's name and its first bytes tell them.
// Both must agree before a decoder sees the file: a name alone would let any installed image
// plugin (SVG with its external references among them) read a file called "leak.png", and the
// bytes alone would let a file reach decoders its name never offered.

#include <optional>
#include <string_view>

namespace tarvo::desktop {

enum class ScreenshotFormat { png, jpeg, gif, tiff };

// By the name's extension, case ignored: png; jpg or jpeg; gif; tiff. Absent for any other name,
// a hidden file's included.
std::optional<ScreenshotFormat> screenshotFormatOfName(std::string_view fileName);

// By the signature the bytes start with; absent when they start with none of the four.
std::optional<ScreenshotFormat> screenshotFormatOfBytes(std::string_view bytes);

// The name of the format among Qt's image readers ("png", "jpeg", "gif", "tiff").
const char* qtFormatName(ScreenshotFormat format);

} // namespace tarvo::desktop
