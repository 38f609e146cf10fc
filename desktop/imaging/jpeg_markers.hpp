#pragma once

// The marker structure of a JPEG, checked before any decoder sees the file.
//
// A progressive JPEG may repeat its scans without limit, and libjpeg runs every one over the whole
// image: a small file of thousands of scans takes minutes of CPU. A file cut short still decodes,
// as the top of the picture over grey. Both are refused here, by walking the markers (and the
// entropy-coded data between them) without decoding anything.

#include <string_view>

namespace tarvo::desktop::JpegMarkers {

// Encoders write one scan per component (baseline) or about ten (progressive); more than this is
// not a picture anyone took.
inline constexpr int maxScans = 32;

// Whether the JPEG starts with SOI, its segments fit in the bytes, it has between one and
// maxScans scans, and its end marker (EOI) follows them. Bytes after EOI are not looked at.
bool isWholeAndBounded(std::string_view jpeg);

} // namespace tarvo::desktop::JpegMarkers
