#include <desktop/imaging/jpeg_markers.hpp>

#include <cstddef>
#include <cstdint>

namespace tarvo::desktop::JpegMarkers {

namespace {

constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t endOfImage = 0xD9;
constexpr std::uint8_t startOfScan = 0xDA;

std::uint8_t byteAt(std::string_view bytes, std::size_t index) {
    return static_cast<std::uint8_t>(bytes[index]);
}

// Restart markers (RST0–RST7) and TEM stand alone, without a length.
bool standsAlone(std::uint8_t marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

// The offset of the first marker after the entropy-coded data that starts at `from`: an 0xFF that
// is neither a stuffed zero byte nor a restart marker. The size of the bytes when there is none.
std::size_t endOfEntropyData(std::string_view bytes, std::size_t from) {
    for (std::size_t at = bytes.find('\xFF', from); at != std::string_view::npos;
         at = bytes.find('\xFF', at + 1)) {
        if (at + 1 >= bytes.size()) {
            break;
        }
        const std::uint8_t next = byteAt(bytes, at + 1);
        if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) {
            return at;
        }
    }
    return bytes.size();
}

} // namespace

bool isWholeAndBounded(std::string_view jpeg) {
    if (jpeg.size() < 2 || byteAt(jpeg, 0) != 0xFF || byteAt(jpeg, 1) != startOfImage) {
        return false;
    }
    int scans = 0;
    // Bytes between segments that are no marker are skipped, as libjpeg skips them.
    for (auto at = jpeg.find('\xFF', 2); at != std::string_view::npos; at = jpeg.find('\xFF', at)) {
        while (at < jpeg.size() && byteAt(jpeg, at) == 0xFF) {
            ++at; // fill bytes before a marker
        }
        if (at >= jpeg.size()) {
            return false;
        }
        const std::uint8_t marker = byteAt(jpeg, at++);
        if (marker == endOfImage) {
            return scans > 0;
        }
        if (marker == startOfImage || marker == 0x00) {
            return false;
        }
        if (standsAlone(marker)) {
            continue;
        }
        if (jpeg.size() - at < 2) {
            return false;
        }
        const std::size_t length = std::size_t{byteAt(jpeg, at)} << 8 | byteAt(jpeg, at + 1);
        if (length < 2 || length > jpeg.size() - at) {
            return false;
        }
        at += length;
        if (marker == startOfScan) {
            if (++scans > maxScans) {
                return false;
            }
            at = endOfEntropyData(jpeg, at);
        }
    }
    return false; // cut off before EOI
}

} // namespace tarvo::desktop::JpegMarkers
