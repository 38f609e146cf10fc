#include <desktop/imaging/jpeg_data_uri.hpp>

#include <desktop/imaging/fast_png.hpp>
#include <desktop/imaging/jpeg_markers.hpp>
#include <desktop/imaging/png_chunks.hpp>

#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/file_descriptor.hpp>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::desktop {

namespace {

// The decoders' own limit, a little above the largest image accepted (four bytes a pixel).
constexpr int decoderAllocationLimitMiB =
    static_cast<int>(maxScreenshotPixels * 4 / (1 << 20)) + 32;

bool declaresAcceptableSize(QSize size) {
    return size.width() > 0 && size.height() > 0 &&
           static_cast<std::int64_t>(size.width()) * size.height() <= maxScreenshotPixels;
}

// Premultiplied ARGB over white is the colour plus what the alpha leaves uncovered.
void flattenOntoWhite(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb value = pixel[x];
            const int uncovered = 255 - qAlpha(value);
            pixel[x] =
                qRgb(qRed(value) + uncovered, qGreen(value) + uncovered, qBlue(value) + uncovered);
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
}

std::optional<QImage> fitted(QImage image, std::optional<int> fitLongerSide) {
    if (fitLongerSide && std::max(image.width(), image.height()) > *fitLongerSide) {
        return image.scaled(*fitLongerSide, *fitLongerSide, Qt::KeepAspectRatio,
                            Qt::SmoothTransformation);
    }
    return image;
}

// Only the reader of the given format, never one chosen by the content or the device.
std::optional<QImage> decodeWithQt(std::string_view bytes, ScreenshotFormat format,
                                   std::optional<int> fitLongerSide) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (bytes.empty() || !buffer.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QImageReader reader(&buffer, qtFormatName(format));
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(decoderAllocationLimitMiB);
    reader.setAutoTransform(true);
    // The header's size, before any pixel is decoded; a decoder that cannot tell stays under
    // the allocation limit.
    const QSize declared = reader.size();
    if (declared.isValid() && !declaresAcceptableSize(declared)) {
        return std::nullopt;
    }
    if (fitLongerSide && declared.isValid() &&
        std::max(declared.width(), declared.height()) > *fitLongerSide) {
        reader.setScaledSize(declared.scaled(*fitLongerSide, *fitLongerSide, Qt::KeepAspectRatio));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull() || !declaresAcceptableSize(image.size())) {
        return std::nullopt;
    }
    return image;
}

// Screenshot PNGs through FastPng, the other kinds through Qt's reader; both see only the
// essential chunks.
std::optional<QImage> decodePng(std::string_view png, std::optional<int> fitLongerSide) {
    if (auto image = FastPng::decode(png, maxScreenshotPixels)) {
        return fitted(std::move(*image), fitLongerSide);
    }
    return decodeWithQt(png, ScreenshotFormat::png, fitLongerSide);
}

} // namespace

namespace ScreenshotImage {

std::optional<std::string> readFile(const std::filesystem::path& file) {
    // Not following links and not blocking, so a FIFO or device put in the image's place is
    // refused rather than waited on.
    const capturekit::FileDescriptor descriptor(
        ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat attributes {};
    if (descriptor.get() < 0 || ::fstat(descriptor.get(), &attributes) != 0 ||
        !S_ISREG(attributes.st_mode) || attributes.st_size > maxScreenshotFileBytes) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(attributes.st_size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count =
            ::read(descriptor.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break; // the file shrank meanwhile: decode what there is
        }
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    return bytes;
}

std::optional<QImage> decode(std::string_view bytes, ScreenshotFormat format,
                             std::optional<int> fitLongerSide) {
    if (screenshotFormatOfBytes(bytes) != format) {
        return std::nullopt;
    }
    switch (format) {
    case ScreenshotFormat::png:
        return PngChunks::essential(bytes).and_then(
            [&](const std::string& png) { return decodePng(png, fitLongerSide); });
    case ScreenshotFormat::jpeg:
        if (!JpegMarkers::isWholeAndBounded(bytes)) {
            return std::nullopt;
        }
        break;
    case ScreenshotFormat::gif:
    case ScreenshotFormat::tiff:
        break;
    }
    return decodeWithQt(bytes, format, fitLongerSide);
}

std::optional<QImage> decode(std::string_view bytes, std::optional<int> fitLongerSide) {
    return screenshotFormatOfBytes(bytes).and_then(
        [&](ScreenshotFormat format) { return decode(bytes, format, fitLongerSide); });
}

std::optional<QImage> decodeFile(const std::filesystem::path& file,
                                 std::optional<int> fitLongerSide) {
    const auto format = screenshotFormatOfName(file.filename().native());
    const auto bytes = format ? readFile(file) : std::nullopt;
    return bytes ? decode(*bytes, *format, fitLongerSide) : std::nullopt;
}

QSize uploadSize(QSize size) {
    if (size.width() <= maxScreenshotWidth) {
        return size;
    }
    // floor(height × 2000 ÷ width), exactly.
    const auto height =
        static_cast<std::int64_t>(size.height()) * maxScreenshotWidth / size.width();
    return {maxScreenshotWidth, std::max<int>(1, static_cast<int>(height))};
}

QImage prepared(const QImage& image) {
    const bool transparent = image.hasAlphaChannel();
    QImage result = image.convertToFormat(transparent ? QImage::Format_ARGB32_Premultiplied
                                                      : QImage::Format_RGB32);
    const QSize target = uploadSize(result.size());
    if (target != result.size()) {
        result = result.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (transparent) {
        flattenOntoWhite(result);
    }
    return result;
}

std::optional<std::string> encodeJpeg(const QImage& image) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(screenshotJpegQuality);
    writer.setOptimizedWrite(false);
    writer.setProgressiveScanWrite(false);
    if (image.isNull() || !writer.write(image) || jpeg.isEmpty()) {
        return std::nullopt;
    }
    return jpeg.toStdString();
}

std::string dataURI(std::string_view jpeg) {
    return "data:image/jpeg;base64," + capturekit::base64::encode(jpeg);
}

} // namespace ScreenshotImage

std::optional<std::string> jpegDataURI(const std::filesystem::path& file) {
    const auto image = ScreenshotImage::decodeFile(file);
    const auto jpeg =
        image ? ScreenshotImage::encodeJpeg(ScreenshotImage::prepared(*image)) : std::nullopt;
    if (!jpeg) {
        return std::nullopt;
    }
    return ScreenshotImage::dataURI(*jpeg);
}

} // namespace tarvo::desktop
