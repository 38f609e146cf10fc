// Hostile screenshots against the decoder, each beside how Qt's reader took the same bytes before
// the decoder checked them (any plugin, every chunk, every scan), in the same run:
//   - a palette PNG of text chunks that inflate to 7 MiB each (peak memory and CPU time);
//   - an 8000 × 8000 progressive JPEG that repeats one scan 5,000 times (CPU time).
// The "Before" cases run smaller, as they grow in step with the bomb: the text chunks at 25, not
// 200 (Qt keeps copies of every text, which would take over 7 GB; the counters give the peak per
// chunk), and the JPEG at 500 repeated scans (5,000 take minutes of CPU; the counters give the
// time per scan).

#include "desktop/image_files.hpp"
#include "desktop/peak_memory.hpp"

#include <desktop/imaging/jpeg_data_uri.hpp>

#include <QBuffer>
#include <QImageReader>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <ctime>
#include <string>

namespace {

using namespace tarvo::desktop;
using namespace tarvo::test;

double processCPUSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

std::string textChunkBomb(int chunks) {
    const QImage image = screenshotLikeImage(64, 64).convertToFormat(QImage::Format_Indexed8);
    const std::string sevenMebibytes = compressedTextChunk(7 << 20);
    std::string texts;
    for (int chunk = 0; chunk < chunks; ++chunk) {
        texts += sevenMebibytes;
    }
    return withChunksAfterHeader(encoded(image, "PNG"), texts);
}

// What decoding was before: Qt's reader choosing the plugin from the content, reading every chunk.
bool decodedAsBefore(const std::string& bytes) {
    QByteArray data = QByteArray::fromStdString(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(288); // the limit the decoder set then
    return !reader.read().isNull();
}

bool decodedNow(const std::string& bytes) {
    return ScreenshotImage::decode(bytes).has_value();
}

void runBomb(benchmark::State& state, const std::string& bytes,
             bool (*decode)(const std::string&)) {
    // Large blocks from their own mappings, given back when freed, so each decode's peak shows
    // (glibc would otherwise keep a freed block's memory for the next one).
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    long peak = 0;
    bool decoded = false;
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        peak = std::max(peak, peakResidentGrowth([&] { decoded = decode(bytes); }).value_or(0));
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["peak_rss_mb"] = static_cast<double>(peak) / (1 << 20);
    state.counters["cpu_ms"] = (processCPUSeconds() - cpuBefore) * 1000 / iterations;
    state.counters["file_kb"] = static_cast<double>(bytes.size()) / 1024;
    state.counters["decoded"] = decoded ? 1 : 0;
}

void BM_TextChunkBomb_Before(benchmark::State& state) {
    const auto chunks = static_cast<int>(state.range(0));
    runBomb(state, textChunkBomb(chunks), decodedAsBefore);
    state.counters["peak_rss_mb_per_chunk"] = state.counters["peak_rss_mb"].value / chunks;
}
BENCHMARK(BM_TextChunkBomb_Before)->Arg(25)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_TextChunkBomb_Now(benchmark::State& state) {
    runBomb(state, textChunkBomb(static_cast<int>(state.range(0))), decodedNow);
}
BENCHMARK(BM_TextChunkBomb_Now)->Arg(25)->Arg(200)->Unit(benchmark::kMillisecond);

// An 8000 × 8000 progressive JPEG of one flat colour (its scans are a few bytes each), its last
// scan repeated.
std::string scanBomb(int repeats) {
    static const std::string progressive = [] {
        QImage image(8000, 8000, QImage::Format_RGB32);
        image.fill(qRgb(120, 130, 140));
        return encoded(image, "JPEG", true);
    }();
    return withLastScanRepeated(progressive, repeats);
}

void BM_ScanBomb_Before(benchmark::State& state) {
    const auto repeats = static_cast<int>(state.range(0));
    runBomb(state, scanBomb(repeats), decodedAsBefore);
    state.counters["cpu_ms_per_scan"] = state.counters["cpu_ms"].value / repeats;
}
BENCHMARK(BM_ScanBomb_Before)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ScanBomb_Now(benchmark::State& state) {
    runBomb(state, scanBomb(static_cast<int>(state.range(0))), decodedNow);
}
BENCHMARK(BM_ScanBomb_Now)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
