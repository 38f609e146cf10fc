// The fast PNG decoder against Qt's reader: the same pixels for every filter type, the kinds it
// leaves to Qt, and damaged files.

#include "desktop/image_files.hpp"

#include <desktop/imaging/fast_png.hpp>

#include <QBuffer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tarvo::desktop {
namespace {

using namespace tarvo::test;

constexpr std::int64_t anySize = 1LL << 26;

int paethPredictor(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int a = std::abs(estimate - left);
    const int b = std::abs(estimate - up);
    const int c = std::abs(estimate - upLeft);
    return a <= b && a <= c ? left : (b <= c ? up : upLeft);
}

// An 8-bit PNG whose row y uses filter y % 5, so every filter type is decoded.
std::string pngWithEveryFilter(const QImage& image, bool alpha) {
    const int pixelBytes = alpha ? 4 : 3;
    const int rowBytes = image.width() * pixelBytes;
    std::string raw;
    std::string above(static_cast<std::size_t>(rowBytes), '\0');
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            row += {static_cast<char>(qRed(pixel)), static_cast<char>(qGreen(pixel)),
                    static_cast<char>(qBlue(pixel))};
            if (alpha) {
                row += static_cast<char>(qAlpha(pixel));
            }
        }
        const int filter = y % 5;
        raw += static_cast<char>(filter);
        for (int i = 0; i < rowBytes; ++i) {
            const int left = i >= pixelBytes ? static_cast<unsigned char>(row[i - pixelBytes]) : 0;
            const int up = static_cast<unsigned char>(above[i]);
            const int upLeft =
                i >= pixelBytes ? static_cast<unsigned char>(above[i - pixelBytes]) : 0;
            const int predicted = filter == 1   ? left
                                  : filter == 2 ? up
                                  : filter == 3 ? (left + up) / 2
                                  : filter == 4 ? paethPredictor(left, up, upLeft)
                                                : 0;
            raw += static_cast<char>(static_cast<unsigned char>(row[i]) - predicted);
        }
        above = row;
    }
    const std::string header = bigEndian(static_cast<std::uint32_t>(image.width())) +
                               bigEndian(static_cast<std::uint32_t>(image.height())) +
                               std::string{8, static_cast<char>(alpha ? 6 : 2), 0, 0, 0};
    const QByteArray compressed = qCompress(QByteArray::fromStdString(raw), 6).mid(4);
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", compressed.toStdString()) + pngChunk("IEND", "");
}

QImage varied(int width, int height) {
    QImage image = screenshotLikeImage(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 3) {
            image.setPixel(x, y, qRgba(x * 7 % 256, y * 5 % 256, (x ^ y) % 256, (x + y) % 256));
        }
    }
    return image;
}

TEST(FastPngTest, EveryFilterDecodesToTheSamePixelsAsQtsReader) {
    for (const bool alpha : {true, false}) {
        const std::string png = pngWithEveryFilter(varied(97, 41), alpha);
        const QImage expected = QImage::fromData(QByteArray::fromStdString(png))
                                    .convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied
                                                           : QImage::Format_RGB32);
        const auto decoded = FastPng::decode(png, anySize);
        ASSERT_TRUE(decoded) << alpha;
        EXPECT_EQ(decoded->format(), expected.format());
        EXPECT_TRUE(*decoded == expected) << alpha;
    }
}

TEST(FastPngTest, OtherKindsAreLeftToQtAndDamagedFilesAreRefused) {
    const QImage image = varied(40, 30);
    for (const QImage::Format format :
         {QImage::Format_Indexed8, QImage::Format_Grayscale8, QImage::Format_RGBA64}) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.convertToFormat(format).save(&buffer, "PNG"));
        EXPECT_FALSE(FastPng::decode(png.toStdString(), anySize)) << format;
    }

    const std::string good = pngWithEveryFilter(image, true);
    ASSERT_TRUE(FastPng::decode(good, anySize));
    EXPECT_FALSE(FastPng::decode(good, 40 * 30 - 1)) << "declared larger than allowed";
    EXPECT_FALSE(FastPng::decode(good.substr(0, good.size() - 30), anySize)) << "truncated";
    std::string badCRC = good;
    badCRC[40] = static_cast<char>(badCRC[40] ^ 1);
    EXPECT_FALSE(FastPng::decode(badCRC, anySize));
    EXPECT_FALSE(FastPng::decode(pngDeclaring(30000, 30000), anySize));
    EXPECT_FALSE(FastPng::decode(pngDeclaring(0xFFFFFFFF, 0xFFFFFFF0), anySize)) << "overflow";
    EXPECT_FALSE(FastPng::decode(pngDeclaring(30, 30), anySize)) << "data too short";
    EXPECT_FALSE(FastPng::decode("", anySize));
    EXPECT_FALSE(FastPng::decode(good.substr(0, 8), anySize));
}

} // namespace
} // namespace tarvo::desktop
