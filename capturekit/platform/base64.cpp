#include <capturekit/platform/base64.hpp>

#include <array>
#include <cstdint>

namespace capturekit::base64 {

namespace {

constexpr std::string_view standardAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view urlAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encodeWith(std::string_view bytes, std::string_view alphabet, bool pad) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    const auto at = [&](std::size_t k) {
        return static_cast<std::uint32_t>(std::uint8_t(bytes[k]));
    };
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        for (int shift = 18; shift >= 0; shift -= 6) {
            out.push_back(alphabet[(v >> shift) & 0x3F]);
        }
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const std::uint32_t v = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
        out.push_back(alphabet[(v >> 18) & 0x3F]);
        out.push_back(alphabet[(v >> 12) & 0x3F]);
        if (rest == 2) {
            out.push_back(alphabet[(v >> 6) & 0x3F]);
        }
        if (pad) {
            out.append(rest == 1 ? "==" : "=");
        }
    }
    return out;
}

std::optional<std::string> decodeWith(std::string_view text, std::string_view alphabet) {
    std::array<int, 256> table{};
    table.fill(-1);
    for (std::size_t k = 0; k < alphabet.size(); ++k) {
        table[static_cast<unsigned char>(alphabet[k])] = static_cast<int>(k);
    }
    if (text.size() % 4 == 0 && text.ends_with("==")) {
        text.remove_suffix(2);
    } else if (text.size() % 4 == 0 && text.ends_with("=")) {
        text.remove_suffix(1);
    }
    if (text.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const int value = table[static_cast<unsigned char>(c)];
        if (value < 0) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

} // namespace

std::string encode(std::string_view bytes) {
    return encodeWith(bytes, standardAlphabet, true);
}

std::optional<std::string> decode(std::string_view text) {
    return decodeWith(text, standardAlphabet);
}

std::string encodeURLUnpadded(std::string_view bytes) {
    return encodeWith(bytes, urlAlphabet, false);
}

std::optional<std::string> decodeURL(std::string_view text) {
    return decodeWith(text, urlAlphabet);
}

} // namespace capturekit::base64
