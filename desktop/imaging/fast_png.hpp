#pragma once

// A fast decoder for the PNGs that screenshots are: 8-bit RGB or RGBA, not interlaced. It inflates
// with libdeflate (several times faster than zlib, which dominates Qt's PNG reading of a large
// screenshot) and premultiplies while it unfilters, so the image is ready for scaling. Anything
// else (palettes, grey, 16 bits, interlacing, a colour key) is left to Qt's reader.

#include <QImage>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo::desktop::FastPng {

// ARGB32_Premultiplied for RGBA, RGB32 for RGB. Absent when the PNG is of another kind, declares
// more than `maxPixels`, or is damaged (bad CRC, short or overlong data, unknown filter).
std::optional<QImage> decode(std::string_view bytes, std::int64_t maxPixels);

} // namespace tarvo::desktop::FastPng
