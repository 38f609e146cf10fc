// Reads arbitrary bytes as a screenshot of one format (TARVO_FUZZ_FORMAT, a ScreenshotFormat), the
// way jpegDataURI and the confirm panel's preview read a file's bytes. A decoded image is never
// larger than allowed, the preview fits its side, and what decodes also converts to the upload's
// JPEG. scripts/fuzz runs these with a memory limit, so a bomb that gets through is reported.

#include <desktop/imaging/jpeg_data_uri.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tarvo::desktop;

namespace {

constexpr int previewSide = 320;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void ignoreQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

// Qt's readers warn about every damaged input; printing millions of warnings would be most of the
// run.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    qInstallMessageHandler(ignoreQtMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr auto format = ScreenshotFormat::TARVO_FUZZ_FORMAT;
    if (const auto preview = ScreenshotImage::decode(bytes, format, previewSide)) {
        require(std::max(preview->width(), preview->height()) <= previewSide);
    }
    const auto image = ScreenshotImage::decode(bytes, format);
    if (!image) {
        return 0;
    }
    require(std::int64_t{image->width()} * image->height() <= maxScreenshotPixels);
    const QImage prepared = ScreenshotImage::prepared(*image);
    require(prepared.width() <= maxScreenshotWidth && !prepared.hasAlphaChannel());
    require(ScreenshotImage::encodeJpeg(prepared).has_value());
    return 0;
}
