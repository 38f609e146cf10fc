#include <desktop/imaging/fast_png.hpp>

#include <desktop/imaging/png_chunks.hpp>

#include <libdeflate.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::desktop::FastPng {

namespace {

constexpr std::uint8_t colourRGB = 2;
constexpr std::uint8_t colourRGBA = 6;

std::uint32_t bigEndian(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t colour = 0;
};

using PngChunks::Chunk;

std::optional<Header> readHeader(const Chunk& chunk, std::int64_t maxPixels) {
    if (chunk.type != "IHDR" || chunk.data.size() != 13) {
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(chunk.data.data());
    const Header header{bigEndian(data), bigEndian(data + 4), data[9]};
    const bool plain = data[8] == 8 && data[10] == 0 && data[11] == 0 && data[12] == 0;
    const bool handled = header.colour == colourRGB || header.colour == colourRGBA;
    // PNG sides are at most 2^31 - 1, so the product below cannot overflow.
    constexpr std::uint32_t largestSide = 0x7FFFFFFF;
    if (!plain || !handled || header.width == 0 || header.height == 0 ||
        header.width > largestSide || header.height > largestSide ||
        std::int64_t{header.width} * std::int64_t{header.height} > maxPixels) {
        return std::nullopt;
    }
    return header;
}

// The concatenated IDAT data; absent for a chunk this decoder leaves to Qt or a broken file.
std::optional<std::string> imageData(PngChunks::Reader& chunks) {
    std::string data;
    while (auto chunk = chunks.next()) {
        if (chunk->type == "IDAT") {
            data.append(chunk->data);
        } else if (chunk->type == "IEND") {
            return data;
        } else if (chunk->type == "tRNS" || (chunk->isCritical() && chunk->type != "PLTE")) {
            return std::nullopt; // a colour key, or an unknown critical chunk
        }
    }
    return std::nullopt; // no IEND: truncated
}

int paeth(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) {
        return left;
    }
    return toUp <= toUpLeft ? up : upLeft;
}

// The compiler does not vectorise these byte loops on its own at -O2; the "up" filter is most of a
// screenshot's rows, so it adds sixteen bytes at a time.
using Bytes16 = unsigned char __attribute__((vector_size(16)));

void addRow(unsigned char* __restrict row, const unsigned char* __restrict above,
            std::size_t length) {
    std::size_t x = 0;
    for (; x + 16 <= length; x += 16) {
        Bytes16 mine;
        Bytes16 theirs;
        std::memcpy(&mine, row + x, 16);
        std::memcpy(&theirs, above + x, 16);
        mine += theirs;
        std::memcpy(row + x, &mine, 16);
    }
    for (; x < length; ++x) {
        row[x] = static_cast<unsigned char>(row[x] + above[x]);
    }
}

// "sub" on four-byte pixels: each pixel plus the one before, the four bytes added at once
// without carries between them.
void addLeftPixels(unsigned char* row, std::size_t length) {
    std::uint32_t left = 0;
    for (std::size_t x = 0; x + 4 <= length; x += 4) {
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, row + x, 4);
        constexpr std::uint32_t low7 = 0x7F7F7F7F;
        constexpr std::uint32_t high = 0x80808080;
        pixel = ((pixel & low7) + (left & low7)) ^ ((pixel ^ left) & high);
        std::memcpy(row + x, &pixel, 4);
        left = pixel;
    }
}

// Undoes one row's filter in place, given the unfiltered row above (zeros for the first).
bool unfilter(std::uint8_t filter, unsigned char* __restrict row,
              const unsigned char* __restrict above, std::size_t length, std::size_t pixelBytes) {
    switch (filter) {
    case 0:
        return true;
    case 1:
        if (pixelBytes == 4) {
            addLeftPixels(row, length);
            return true;
        }
        for (std::size_t x = pixelBytes; x < length; ++x) {
            row[x] = static_cast<unsigned char>(row[x] + row[x - pixelBytes]);
        }
        return true;
    case 2:
        addRow(row, above, length);
        return true;
    case 3:
        for (std::size_t x = 0; x < length; ++x) {
            const int left = x >= pixelBytes ? row[x - pixelBytes] : 0;
            row[x] = static_cast<unsigned char>(row[x] + ((left + above[x]) >> 1));
        }
        return true;
    case 4:
        for (std::size_t x = 0; x < length; ++x) {
            const int left = x >= pixelBytes ? row[x - pixelBytes] : 0;
            const int upLeft = x >= pixelBytes ? above[x - pixelBytes] : 0;
            row[x] = static_cast<unsigned char>(row[x] + paeth(left, above[x], upLeft));
        }
        return true;
    default:
        return false;
    }
}

void storeRGB(const unsigned char* row, QRgb* out, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x, row += 3) {
        out[x] = qRgb(row[0], row[1], row[2]);
    }
}

// Reads each pixel before writing it, so `out` may start up to `row`: the RGBA rows are converted
// in place, within the buffer they were inflated into.
void storeRGBA(const unsigned char* row, QRgb* out, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x, row += 4) {
        const QRgb pixel = qRgba(row[0], row[1], row[2], row[3]);
        out[x] = qPremultiply(pixel);
    }
}

struct Inflated {
    unsigned char* data = nullptr; // malloc'd; rows of one filter byte and the pixels
    std::size_t rowBytes = 0;
};

// Unfilters every row and hands it to `store` one row late: by then the row above it has been
// used, and what `store` writes for row y ends before row y + 1 begins.
template <typename Store>
bool unfilterRows(const Inflated& inflated, std::uint32_t height, std::size_t pixelBytes,
                  Store store) {
    const std::vector<unsigned char> zeros(inflated.rowBytes, 0);
    const unsigned char* above = zeros.data();
    const std::size_t stride = 1 + inflated.rowBytes;
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char* row = inflated.data + std::size_t{y} * stride;
        if (!unfilter(row[0], row + 1, above, inflated.rowBytes, pixelBytes)) {
            return false;
        }
        if (y > 0) {
            store(y - 1, above);
        }
        above = row + 1;
    }
    store(height - 1, above);
    return true;
}

} // namespace

std::optional<QImage> decode(std::string_view bytes, std::int64_t maxPixels) {
    if (!bytes.starts_with(PngChunks::signature)) {
        return std::nullopt;
    }
    PngChunks::Reader chunks(bytes);
    const auto first = chunks.next();
    const auto header = first ? readHeader(*first, maxPixels) : std::nullopt;
    const auto data = header ? imageData(chunks) : std::nullopt;
    if (!data) {
        return std::nullopt;
    }
    const bool alpha = header->colour == colourRGBA;
    const std::size_t pixelBytes = alpha ? 4 : 3;
    const std::uint32_t width = header->width;
    const Inflated inflated{nullptr, std::size_t{width} * pixelBytes};
    const std::size_t rawSize = std::size_t{header->height} * (1 + inflated.rowBytes);
    std::unique_ptr<unsigned char, decltype(&std::free)> raw(
        static_cast<unsigned char*>(std::malloc(rawSize)), std::free);
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)>
        inflater(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    std::size_t size = 0;
    if (!raw || !inflater ||
        libdeflate_zlib_decompress(inflater.get(), data->data(), data->size(), raw.get(), rawSize,
                                   &size) != LIBDEFLATE_SUCCESS ||
        size != rawSize) {
        return std::nullopt;
    }
    const Inflated rows{raw.get(), inflated.rowBytes};
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(header->height);
    if (!alpha) {
        QImage image(w, h, QImage::Format_RGB32);
        const bool done =
            !image.isNull() &&
            unfilterRows(
                rows, header->height, pixelBytes, [&](std::uint32_t y, const unsigned char* row) {
                    storeRGB(row, reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y))),
                             width);
                });
        return done ? std::optional(image) : std::nullopt;
    }
    // An RGBA row is as long as the image row it becomes, plus its filter byte: the image is
    // built in the same buffer, row y at y × width × 4, which the reading stays ahead of.
    const auto pixels = reinterpret_cast<QRgb*>(raw.get());
    if (!unfilterRows(rows, header->height, pixelBytes,
                      [&](std::uint32_t y, const unsigned char* row) {
                          storeRGBA(row, pixels + std::size_t{y} * width, width);
                      })) {
        return std::nullopt;
    }
    QImage image(raw.get(), w, h, w * 4, QImage::Format_ARGB32_Premultiplied, std::free, raw.get());
    raw.release(); // the image frees it
    return image;
}

} // namespace tarvo::desktop::FastPng
