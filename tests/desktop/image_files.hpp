#pragma once

// Image files for the screenshot tests and benchmarks: screenshot-like pictures (flat panels,
// lines of small dark marks like text, a translucent shadow), and hand-made hostile files.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace tarvo::test {

inline void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readBytes(const std::filesystem::path& file) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

inline bool saveImage(const std::filesystem::path& file, const QImage& image, const char* format) {
    QImageWriter writer(QString::fromStdString(file.string()), format);
    return writer.write(image);
}

// Window-like panels, rows of glyph-sized marks, and a translucent band where the alpha channel
// matters. The same size always gives the same picture.
inline QImage screenshotLikeImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(qRgb(236, 238, 242));
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        return seed = seed * 1664525U + 1013904223U;
    };
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const bool textRow = (y % 22) >= 6 && (y % 22) < 17 && y > height / 12;
        for (int x = 0; x < width; ++x) {
            if (x > width / 5 && x < width / 5 + 3) {
                line[x] = qRgb(200, 200, 205);
            } else if (x < width / 5) {
                line[x] = qRgb(48, 52, 64);
            } else if (textRow && (x / 7) % 9 != 0 && next() % 3 == 0) {
                line[x] = qRgb(30, 30, 30);
            }
            if (y > height - height / 10) {
                line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), 160);
            }
        }
    }
    return image;
}

inline std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes) {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
        }
    }
    return ~crc;
}

inline std::string bigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

inline std::string pngChunk(std::string_view type, std::string_view data) {
    const std::string body = std::string(type) + std::string(data);
    return bigEndian(static_cast<std::uint32_t>(data.size())) + body + bigEndian(crc32(body));
}

// A small, well-formed PNG that declares an 8-bit RGBA image of the given size, with a little
// compressed data: a decompression bomb as far as the header goes.
inline std::string pngDeclaring(std::uint32_t width, std::uint32_t height) {
    const std::string header =
        bigEndian(width) + bigEndian(height) + std::string("\x08\x06\0\0\0", 5);
    const QByteArray zeros(64 * 1024, '\0');
    const QByteArray compressed = qCompress(zeros, 9).mid(4); // without Qt's length prefix
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", compressed.toStdString()) + pngChunk("IEND", "");
}

// The image encoded in memory; `progressive` for a progressive JPEG.
inline std::string encoded(const QImage& image, const char* format, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes.toStdString();
}

// The PNG with the chunks put right after its IHDR (which always ends at byte 33).
inline std::string withChunksAfterHeader(std::string_view png, std::string_view chunks) {
    return std::string(png.substr(0, 33)) + std::string(chunks) + std::string(png.substr(33));
}

// A zTXt chunk whose text inflates to `inflatedSize` bytes of "A".
inline std::string compressedTextChunk(std::size_t inflatedSize) {
    const QByteArray text(static_cast<qsizetype>(inflatedSize), 'A');
    const QByteArray compressed = qCompress(text, 9).mid(4); // without Qt's length prefix
    return pngChunk("zTXt", std::string("Comment\0\0", 9) + compressed.toStdString());
}

// The JPEG with its last scan (from the last SOS marker to EOI) repeated `times` more times: a
// progressive JPEG whose decoder goes over the whole image once a scan.
inline std::string withLastScanRepeated(std::string_view jpeg, int times) {
    const std::size_t lastScan = jpeg.rfind("\xFF\xDA");
    const std::size_t end = jpeg.size() - 2; // EOI
    std::string repeated(jpeg.substr(0, end));
    for (int copy = 0; copy < times; ++copy) {
        repeated += jpeg.substr(lastScan, end - lastScan);
    }
    return repeated + "\xFF\xD9";
}

// A 1 × 1 GIF.
inline std::string tinyGif() {
    return {"GIF89a\x01\0\x01\0\x80\0\0\xff\0\0\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;",
            35};
}

} // namespace tarvo::test
