#pragma once

// The chunk structure of a PNG, and the PNG reduced to what makes its pixels.
//
// Everything else in a PNG is metadata that a screenshot does not need and that decoders handle
// at a cost: libpng inflates every compressed text chunk and colour profile, and Qt keeps them, so
// a small file of text chunks can ask for gigabytes. Decoders here only ever see the essential
// chunks, and a file whose compressed metadata would inflate beyond a small budget is refused as
// the bomb it is.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::desktop::PngChunks {

inline constexpr std::string_view signature{"\x89PNG\r\n\x1a\n", 8};

// What the compressed text chunks (zTXt, iTXt) and colour profile (iCCP) of one file may inflate
// to together. Real metadata is a few kilobytes; a display profile rarely passes 100 KB.
inline constexpr std::size_t maxInflatedMetadata = 4 * 1024 * 1024;

struct Chunk {
    std::string_view type;
    std::string_view data;

    bool isCritical() const { return type[0] >= 'A' && type[0] <= 'Z'; }
};

// Walks the chunks after the signature, checking each length against the buffer and each critical
// chunk's CRC. `next` is absent at the end of the bytes and at the first broken chunk.
class Reader {
public:
    explicit Reader(std::string_view png);

    std::optional<Chunk> next();
    // The chunk `next` gave last, with its length, type and CRC, as it stands in the file.
    std::string_view lastWhole() const { return lastWhole_; }

private:
    std::string_view bytes_;
    std::size_t offset_;
    std::string_view lastWhole_;
};

// The signature and the IHDR, PLTE, tRNS, IDAT and IEND chunks in their order; text, profiles,
// orientation, animation frames and whatever follows IEND are left out. Absent when IHDR is not
// first, a chunk is broken, IEND is missing (a truncated file), a critical chunk is not one of
// these, or the compressed metadata would inflate to more than maxInflatedMetadata bytes.
std::optional<std::string> essential(std::string_view png);

} // namespace tarvo::desktop::PngChunks
