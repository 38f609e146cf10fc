#pragma once

// A screenshot as the ingest request carries it: decoded, scaled to at most 2000 pixels wide,
// flattened onto white where it is transparent, encoded as baseline JPEG at quality 75 and
// written as a Base64 data URI. Everything happens in memory.
//
// Untrusted files are expected. A file reaches only the decoder of the format its name and its
// first bytes both give (never SVG, never one Qt picks from the content); a PNG is reduced to its
// essential chunks and a JPEG's markers are checked first (PngChunks, JpegMarkers). The declared
// size is checked before any pixel is decoded, so an image that claims more than
// maxScreenshotPixels is refused without allocating for it, and the decoders run under an
// allocation limit as well.

#include <desktop/imaging/screenshot_format.hpp>

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop {

inline constexpr int maxScreenshotWidth = 2000;
inline constexpr int screenshotJpegQuality = 75;
// 64 megapixels: an 8K screen, or a long scrolling capture, four times over.
inline constexpr std::int64_t maxScreenshotPixels = 64LL * 1024 * 1024;
// Files larger than this are not read at all.
inline constexpr std::int64_t maxScreenshotFileBytes = 256LL * 1024 * 1024;

// "data:image/jpeg;base64,…" for the image file, or absent when it cannot be read, decoded or
// encoded (not a regular file, too large, truncated, not an image, named as another format, a
// decompression bomb).
std::optional<std::string> jpegDataURI(const std::filesystem::path& file);

// The stages, each usable on its own (the benchmark times them one by one).
namespace ScreenshotImage {

// The file's bytes, when it is a regular file of at most maxScreenshotFileBytes.
std::optional<std::string> readFile(const std::filesystem::path& file);
// The image in the bytes, when they start as `format` does and decode as that format alone:
// PNG (screenshot PNGs through FastPng), JPEG, GIF and TIFF. Absent for anything unreadable,
// truncated, of too many scans or too much metadata, or declared larger than maxScreenshotPixels.
// With `fitLongerSide`, the image comes scaled down to at most that many pixels on its longer
// side (never enlarged), as a preview.
std::optional<QImage> decode(std::string_view bytes, ScreenshotFormat format,
                             std::optional<int> fitLongerSide = {});
// The same, in the format the bytes start as.
std::optional<QImage> decode(std::string_view bytes, std::optional<int> fitLongerSide = {});
// readFile, then decode in the format of the file's name: what the upload and the preview read.
std::optional<QImage> decodeFile(const std::filesystem::path& file,
                                 std::optional<int> fitLongerSide = {});
// The upload size: at most maxScreenshotWidth wide, both sides floored, the height following the
// width (never below one pixel). Smaller images keep their size.
QSize uploadSize(QSize size);
// Scaled to uploadSize and composited onto white: an opaque RGB32 image.
QImage prepared(const QImage& image);
// Baseline JPEG at screenshotJpegQuality; absent when encoding fails.
std::optional<std::string> encodeJpeg(const QImage& image);
// "data:image/jpeg;base64," and the standard Base64 text, without line breaks.
std::string dataURI(std::string_view jpeg);

} // namespace ScreenshotImage

} // namespace tarvo::desktop
