// Screenshots turned into JPEG data URIs: sizes, transparency, formats and hostile files.

#include "desktop/image_files.hpp"
#include "desktop/peak_memory.hpp"

#include <desktop/imaging/jpeg_data_uri.hpp>
#include <desktop/imaging/jpeg_markers.hpp>
#include <desktop/imaging/qt_message_log.hpp>

#include <capturekit/platform/base64.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace tarvo::desktop {
namespace {

namespace fs = std::filesystem;
using namespace tarvo::test;
using tarvo::test::ScopedEnvironmentVariable;

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

TEST_F(JpegDataURITest, TheFormatIsTheOneTheNameAndTheFirstBytesBothGive) {
    const QImage image = screenshotLikeImage(64, 48);
    for (const auto& [name, format] : {std::pair{"shot.png", "PNG"},
                                       {"shot.JPG", "JPEG"},
                                       {"shot.jpeg", "JPEG"},
                                       {"shot.Tiff", "TIFF"}}) {
        writeBytes(folder / name, encoded(image, format));
        EXPECT_EQ(decodedJpeg(jpegDataURI(folder / name)).size(), QSize(64, 48)) << name;
    }
    writeBytes(folder / "shot.gif", tinyGif());
    EXPECT_EQ(decodedJpeg(jpegDataURI(folder / "shot.gif")).size(), QSize(1, 1));

    // An SVG named as a PNG would draw whatever file it points at into the upload.
    saveImage(folder / "private.png", image, "PNG");
    const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' "
                            "xmlns:xlink='http://www.w3.org/1999/xlink' width='64' height='48'>"
                            "<image xlink:href='" +
                            (folder / "private.png").string() + "' width='64' height='48'/></svg>";
    writeBytes(folder / "leak.png", svg);
    EXPECT_EQ(jpegDataURI(folder / "leak.png"), std::nullopt);
    EXPECT_EQ(ScreenshotImage::decode(svg), std::nullopt) << "nor from its bytes alone";

    // Name and bytes must agree, and name a format the watcher offers.
    writeBytes(folder / "jpeg.png", encoded(image, "JPEG"));
    writeBytes(folder / "png.gif", encoded(image, "PNG"));
    writeBytes(folder / "webp.png", encoded(image, "WEBP"));
    writeBytes(folder / "shot.webp", encoded(image, "WEBP"));
    writeBytes(folder / "shot.bmp", encoded(image, "BMP"));
    writeBytes(folder / "shot.heic", encoded(image, "PNG"));
    for (const char* name :
         {"jpeg.png", "png.gif", "webp.png", "shot.webp", "shot.bmp", "shot.heic"}) {
        EXPECT_EQ(jpegDataURI(folder / name), std::nullopt) << name;
    }
    EXPECT_EQ(screenshotFormatOfName(".png"), std::nullopt) << "a hidden file";
    EXPECT_EQ(screenshotFormatOfName("png"), std::nullopt);
}

TEST_F(JpegDataURITest, CompressedMetadataBeyondItsBudgetIsRefusedWithinBoundedMemory) {
    const QImage image = screenshotLikeImage(64, 64);
    const std::string palette = encoded(image.convertToFormat(QImage::Format_Indexed8), "PNG");
    const std::string rgba = encoded(image, "PNG");
    std::string bombChunks;
    const std::string sevenMebibytes = compressedTextChunk(7 << 20);
    for (int chunk = 0; chunk < 30; ++chunk) {
        bombChunks += sevenMebibytes;
    }
    writeBytes(folder / "palette-bomb.png", withChunksAfterHeader(palette, bombChunks));
    writeBytes(folder / "bomb.png", withChunksAfterHeader(rgba, bombChunks));

    // About 1 MB of text chunks that libpng would inflate to 210 MiB, and Qt keep.
    bool refused = false;
    const auto growth = peakResidentGrowth([&] {
        refused = !jpegDataURI(folder / "palette-bomb.png") && !jpegDataURI(folder / "bomb.png");
    });
    EXPECT_TRUE(refused);
    ASSERT_TRUE(growth) << "the kernel keeps no resettable peak";
    EXPECT_LT(*growth, 100 << 20);

    // Metadata of an ordinary size is left out and the picture read, by either decoder.
    const std::string text = compressedTextChunk(64 << 10);
    writeBytes(folder / "palette.png", withChunksAfterHeader(palette, text));
    writeBytes(folder / "rgba.png", withChunksAfterHeader(rgba, text + pngChunk("eXIf", "MM")));
    for (const char* name : {"palette.png", "rgba.png"}) {
        EXPECT_EQ(decodedJpeg(jpegDataURI(folder / name)).size(), QSize(64, 64)) << name;
    }
    EXPECT_EQ(ScreenshotImage::decode(rgba.substr(0, rgba.size() - 12)), std::nullopt)
        << "without IEND";
}

TEST_F(JpegDataURITest, AJpegOfTooManyScansOrCutShortIsRefused) {
    const QImage image = screenshotLikeImage(256, 192);
    const std::string baseline = encoded(image, "JPEG");
    const std::string progressive = encoded(image, "JPEG", true);
    const auto scans = [](std::string_view jpeg) {
        int count = 0;
        for (auto at = jpeg.find("\xFF\xDA"); at != std::string_view::npos;
             at = jpeg.find("\xFF\xDA", at + 2)) {
            ++count;
        }
        return count;
    };
    const int extra = JpegMarkers::maxScans - scans(progressive);
    ASSERT_GT(extra, 0);

    writeBytes(folder / "baseline.jpg", baseline);
    writeBytes(folder / "trailer.jpg", baseline + "bytes after the end marker");
    // Stray bytes between two segments (after the 20 bytes of SOI and JFIF's APP0), which libjpeg
    // skips with a warning.
    writeBytes(folder / "stray.jpg", baseline.substr(0, 20) + "??" + baseline.substr(20));
    writeBytes(folder / "progressive.jpg", withLastScanRepeated(progressive, extra));
    for (const char* name : {"baseline.jpg", "trailer.jpg", "stray.jpg", "progressive.jpg"}) {
        EXPECT_EQ(decodedJpeg(jpegDataURI(folder / name)).size(), QSize(256, 192)) << name;
    }

    const std::string bomb = withLastScanRepeated(progressive, extra + 1);
    writeBytes(folder / "scans.jpg", bomb);
    writeBytes(folder / "third.jpg", baseline.substr(0, baseline.size() / 3));
    writeBytes(folder / "no-end.jpg", baseline.substr(0, baseline.size() - 2));
    for (const char* name : {"scans.jpg", "third.jpg", "no-end.jpg"}) {
        EXPECT_EQ(jpegDataURI(folder / name), std::nullopt) << name;
    }
    EXPECT_EQ(ScreenshotImage::decode(bomb, 320), std::nullopt) << "nor as a preview";
}

TEST(QtMessageLogTest, QtsOwnWarningsReachTheLogAsOneEscapedLine) {
    const ScopedEnvironmentVariable toStderr("TARVO_LOG", "stderr");
    logQtMessages();
    ::testing::internal::CaptureStderr();
    qWarning("%s", "Corrupt JPEG data: \"crafted\n\x1b[31mname\"");
    const std::string logged = ::testing::internal::GetCapturedStderr();
    qInstallMessageHandler(nullptr);

    EXPECT_TRUE(logged.ends_with("[qt] notice: Corrupt JPEG data: \"crafted\\n\\x1b[31mname\"\n"))
        << logged;
    EXPECT_EQ(std::ranges::count(logged, '\n'), 1);
    EXPECT_FALSE(logged.contains('\x1b'));
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
