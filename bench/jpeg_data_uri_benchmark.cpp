// jpegDataURI of a 5120 x 2880 screenshot-like PNG (flat panels, rows of text-like marks, an alpha
// channel), stage by stage, beside ImageMagick and vipsthumbnail doing the same job in the same
// run. The external programs are skipped when they are not installed (scripts/bench installs
// them).

#include "desktop/image_files.hpp"

#include <desktop/imaging/jpeg_data_uri.hpp>

#include <support/temporary_folder.hpp>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace tarvo::desktop;

struct Screenshot {
    tarvo::test::TemporaryFolder folder;
    std::filesystem::path png = folder / "screenshot.png";
    std::string bytes;
    QImage decoded;
    QImage prepared;
    std::string jpeg;

    Screenshot() {
        tarvo::test::saveImage(png, tarvo::test::screenshotLikeImage(5120, 2880), "PNG");
        bytes = tarvo::test::readBytes(png);
        decoded = ScreenshotImage::decode(bytes).value_or(QImage());
        prepared = ScreenshotImage::prepared(decoded);
        jpeg = ScreenshotImage::encodeJpeg(prepared).value_or("");
    }
};

const Screenshot& screenshot() {
    static const Screenshot shared;
    return shared;
}

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// The CPU time of every thread of this process, which the benchmark's own CPU column (the
// calling thread's) leaves out of Qt's threaded scaling.
double processCPUSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Runs the program with its output thrown away; false when it could not run or failed. Adds the
// CPU time it used (all its threads) to `cpuSeconds`.
bool run(const std::vector<std::string>& arguments, double* cpuSeconds = nullptr) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    const bool ran = spawned == 0 && ::wait4(child, &status, 0, &usage) == child &&
                     WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (cpuSeconds != nullptr) {
        *cpuSeconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    return ran;
}

void setCPUCounter(benchmark::State& state, double seconds) {
    state.counters["all_threads_cpu_ms"] =
        benchmark::Counter(seconds * 1000 / static_cast<double>(state.iterations()));
}

void runProgram(benchmark::State& state, const std::vector<std::string>& arguments) {
    if (!run(arguments)) {
        state.SkipWithError((arguments.front() + " is not installed or failed").c_str());
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        run(arguments, &cpu);
    }
    setCPUCounter(state, cpu);
}

void BM_JpegDataURI(benchmark::State& state) {
    const auto& shot = screenshot();
    std::size_t size = 0;
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        size = jpegDataURI(shot.png).value_or("").size();
        benchmark::DoNotOptimize(size);
    }
    setCPUCounter(state, processCPUSeconds() - cpuBefore);
    state.counters["uri_bytes"] = static_cast<double>(size);
}

void BM_ReadFile(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScreenshotImage::readFile(screenshot().png));
    }
}

void BM_Decode(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScreenshotImage::decode(screenshot().bytes));
    }
}

void BM_ScaleAndFlatten(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScreenshotImage::prepared(screenshot().decoded));
    }
}

void BM_EncodeJpeg(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScreenshotImage::encodeJpeg(screenshot().prepared));
    }
}

void BM_Base64(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScreenshotImage::dataURI(screenshot().jpeg));
    }
}

void BM_ImageMagick(benchmark::State& state) {
    runProgram(state, {"convert", screenshot().png.string(), "-resize", "2000x", "-quality", "75",
                       "jpg:-"});
}

void BM_Vipsthumbnail(benchmark::State& state) {
    const auto output = screenshot().folder / "vips.jpg";
    runProgram(state, {"vipsthumbnail", screenshot().png.string(), "--size", "2000x", "-o",
                       output.string() + "[Q=75]"});
}

BENCHMARK(BM_JpegDataURI)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleAndFlatten)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Base64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImageMagick)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
