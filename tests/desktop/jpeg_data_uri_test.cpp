// Screenshots turned into JPEG data URIs: sizes, transparency, formats and hostile files.

#include "desktop/image_files.hpp"

#include <desktop/imaging/jpeg_data_uri.hpp>

#include <capturekit/platform/base64.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

namespace tarvo::desktop {
namespace {

namespace fs = std::filesystem;
using namespace tarvo::test;

constexpr std::string_view prefix = "data:image/jpeg;base64,";

// The JPEG inside a data URI, decoded again.
QImage decodedJpeg(const std::optional<std::string>& uri) {
    if (!uri || !uri->starts_with(prefix)) {
        return {};
    }
    const auto bytes = capturekit::base64::decode(std::string_view(*uri).substr(prefix.size()));
    if (!bytes || !bytes->starts_with("\xFF\xD8")) {
        return {};
    }
    return QImage::fromData(QByteArray::fromStdString(*bytes), "JPEG");
}

[[noreturn]] void convertWithinOneGigabyte(const fs::path& bomb, const fs::path& good) {
    constexpr rlim_t oneGigabyte = 1ULL << 30;
    const rlimit limit{oneGigabyte, oneGigabyte};
    ::setrlimit(RLIMIT_AS, &limit);
    const bool refused = !jpegDataURI(bomb).has_value();
    const bool converted = jpegDataURI(good).has_value();
    std::_Exit(refused && converted ? 0 : 1);
}

struct JpegDataURITest : ::testing::Test {
    TemporaryFolder folder;
};

TEST_F(JpegDataURITest, WideImagesAreScaledToTwoThousandPixelsAndOthersKeepTheirSize) {
    const fs::path wide = folder / "wide.png";
    saveImage(wide, screenshotLikeImage(4000, 3000), "PNG");
    const QImage scaled = decodedJpeg(jpegDataURI(wide));
    EXPECT_EQ(scaled.size(), QSize(2000, 1500));
    EXPECT_EQ(ScreenshotImage::uploadSize({2001, 3}), QSize(2000, 2));
    EXPECT_EQ(ScreenshotImage::uploadSize({3000, 2999}), QSize(2000, 1999));
    EXPECT_EQ(ScreenshotImage::uploadSize({9000, 2}), QSize(2000, 1));
    EXPECT_EQ(ScreenshotImage::uploadSize({2000, 90000}), QSize(2000, 90000));
}

TEST_F(JpegDataURITest, TransparencyIsFlattenedOntoWhite) {
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 20; ++y) {
        for (int x = 20; x < 40; ++x) {
            image.setPixel(x, y, qRgba(0, 0, 0, 128));
        }
    }
    const fs::path file = folder / "alpha.png";
    saveImage(file, image, "PNG");
    const QImage jpeg = decodedJpeg(jpegDataURI(file));
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_GE(qGray(jpeg.pixel(5, 10)), 250) << "fully transparent reads as white";
    EXPECT_NEAR(qGray(jpeg.pixel(30, 10)), 127, 6) << "half-transparent black is grey";
}

TEST_F(JpegDataURITest, EveryDecodableFormatIsRead) {
    const QImage image = screenshotLikeImage(64, 48);
    for (const char* format : {"JPEG", "TIFF", "WEBP", "BMP"}) {
        const fs::path file = folder / (std::string("shot.") + format);
        saveImage(file, image, format);
        EXPECT_EQ(decodedJpeg(jpegDataURI(file)).size(), QSize(64, 48)) << format;
    }
    const fs::path gif = folder / "shot.gif";
    writeBytes(gif, tinyGif());
    EXPECT_EQ(decodedJpeg(jpegDataURI(gif)).size(), QSize(1, 1));
}

TEST_F(JpegDataURITest, BrokenAndHostileFilesGiveNothing) {
    const fs::path good = folder / "good.png";
    saveImage(good, screenshotLikeImage(300, 200), "PNG");
    const std::string png = readBytes(good);

    writeBytes(folder / "truncated.png", png.substr(0, png.size() / 2));
    writeBytes(folder / "empty.png", "");
    writeBytes(folder / "text.png", "This is not an image, only a note.\n");
    writeBytes(folder / "bomb.png", pngDeclaring(30000, 30000));
    ::mkfifo((folder / "fifo.png").c_str(), 0600);
    fs::create_symlink(good, folder / "link.png");

    const auto begin = std::chrono::steady_clock::now();
    for (const char* name : {"truncated.png", "empty.png", "text.png", "bomb.png", "fifo.png",
                             "link.png", "none.png"}) {
        EXPECT_EQ(jpegDataURI(folder / name), std::nullopt) << name;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
    EXPECT_TRUE(jpegDataURI(good));
}

TEST_F(JpegDataURITest, ABombIsRefusedWithinBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    const fs::path bomb = folder / "bomb.png";
    writeBytes(bomb, pngDeclaring(30000, 30000));
    const fs::path good = folder / "good.png";
    saveImage(good, screenshotLikeImage(2400, 1600), "PNG");

    // In a fresh process whose address space cannot hold the declared 3.6 GB: the bomb is refused
    // and an ordinary screenshot still converts.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(convertWithinOneGigabyte(bomb, good), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace tarvo::desktop
