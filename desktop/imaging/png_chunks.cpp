#include <desktop/imaging/png_chunks.hpp>

#include <libdeflate.h>

#include <cstdint>
#include <memory>

namespace tarvo::desktop::PngChunks {

namespace {

std::uint32_t bigEndian(const char* bytes) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes);
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
           std::uint32_t{at[3]};
}

// The zlib stream of a compressed text chunk or colour profile; absent when the chunk holds none.
std::optional<std::string_view> compressedMetadata(const Chunk& chunk) {
    const auto keywordEnd = chunk.data.find('\0');
    if (keywordEnd == std::string_view::npos) {
        return std::nullopt;
    }
    // zTXt and iCCP: keyword, NUL, method, stream.
    if (chunk.type == "zTXt" || chunk.type == "iCCP") {
        return keywordEnd + 2 <= chunk.data.size()
                   ? std::optional(chunk.data.substr(keywordEnd + 2))
                   : std::nullopt;
    }
    // iTXt: keyword, NUL, compression flag, method, language, NUL, translated keyword, NUL, text.
    if (chunk.type != "iTXt" || keywordEnd + 3 > chunk.data.size() ||
        chunk.data[keywordEnd + 1] != 1) {
        return std::nullopt;
    }
    const auto languageEnd = chunk.data.find('\0', keywordEnd + 3);
    const auto translatedEnd = languageEnd == std::string_view::npos
                                   ? std::string_view::npos
                                   : chunk.data.find('\0', languageEnd + 1);
    if (translatedEnd == std::string_view::npos) {
        return std::nullopt;
    }
    return chunk.data.substr(translatedEnd + 1);
}

// Inflates compressed metadata into one scratch buffer of the budget's size, so the whole file's
// metadata can never take more than that.
class MetadataBudget {
public:
    // False once the metadata seen so far inflates to more than the budget. Damaged streams count
    // for what they inflated to before the damage (they are dropped anyway).
    bool spend(std::string_view stream) {
        if (!scratch_) {
            scratch_ = std::make_unique_for_overwrite<unsigned char[]>(maxInflatedMetadata);
            inflater_.reset(libdeflate_alloc_decompressor());
        }
        if (!inflater_) {
            return false;
        }
        std::size_t inflated = 0;
        const auto result = libdeflate_zlib_decompress_ex(
            inflater_.get(), stream.data(), stream.size(), scratch_.get(),
            maxInflatedMetadata - spent_, nullptr, &inflated);
        if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
            return false;
        }
        spent_ += result == LIBDEFLATE_SUCCESS ? inflated : 0;
        return true;
    }

private:
    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* inflater) const {
            libdeflate_free_decompressor(inflater);
        }
    };
    std::unique_ptr<unsigned char[]> scratch_;
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> inflater_;
    std::size_t spent_ = 0;
};

bool isEssentialCritical(std::string_view type) {
    return type == "PLTE" || type == "IDAT";
}

} // namespace

Reader::Reader(std::string_view png) : bytes_(png), offset_(signature.size()) {}

std::optional<Chunk> Reader::next() {
    if (bytes_.size() < offset_ || bytes_.size() - offset_ < 12) {
        return std::nullopt;
    }
    const char* at = bytes_.data() + offset_;
    const std::uint32_t length = bigEndian(at);
    if (length > bytes_.size() - offset_ - 12) {
        return std::nullopt;
    }
    const std::string_view typed = bytes_.substr(offset_ + 4, 4 + std::size_t{length});
    const std::uint32_t crc = bigEndian(at + 8 + length);
    const Chunk chunk{typed.substr(0, 4), typed.substr(4)};
    if (chunk.isCritical() && libdeflate_crc32(0, typed.data(), typed.size()) != crc) {
        return std::nullopt;
    }
    lastWhole_ = bytes_.substr(offset_, 12 + std::size_t{length});
    offset_ += lastWhole_.size();
    return chunk;
}

std::optional<std::string> essential(std::string_view png) {
    if (!png.starts_with(signature)) {
        return std::nullopt;
    }
    Reader chunks(png);
    const auto header = chunks.next();
    if (!header || header->type != "IHDR") {
        return std::nullopt;
    }
    std::string kept;
    kept.reserve(png.size());
    kept += signature;
    kept += chunks.lastWhole();
    MetadataBudget budget;
    while (const auto chunk = chunks.next()) {
        if (chunk->type == "IEND") {
            kept += chunks.lastWhole();
            return kept;
        }
        if (isEssentialCritical(chunk->type) || chunk->type == "tRNS") {
            kept += chunks.lastWhole();
        } else if (chunk->isCritical()) {
            return std::nullopt; // a second IHDR, or a critical chunk no decoder here knows
        } else if (const auto stream = compressedMetadata(*chunk);
                   stream && !budget.spend(*stream)) {
            return std::nullopt;
        }
    }
    return std::nullopt; // broken, or cut off before IEND
}

} // namespace tarvo::desktop::PngChunks
