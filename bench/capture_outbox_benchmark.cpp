// Listing the outbox against decoding every item file in full: 200 items carrying a 400 KB
// screenshot each. The listing is what the tray menu reads on every refresh.

#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/atomic_file.hpp>
#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/crypto.hpp>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

using namespace capturekit;
namespace fs = std::filesystem;

namespace {

constexpr int itemCount = 200;
constexpr std::size_t screenshotBytes = 400 * 1024;

// A private folder with the outbox, the preferences and the data home, removed at the end.
class Workspace {
public:
    Workspace() {
        std::string pattern = (fs::temp_directory_path() / "tarvo-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        root_ = pattern;
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        fs::create_directory(outbox());
        CaptureOutbox::setDirectoryOverride(outbox());
    }
    ~Workspace() {
        CaptureOutbox::setDirectoryOverride(std::nullopt);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    fs::path outbox() const { return root_ / "outbox"; }

private:
    fs::path root_;
};

void fillOutbox(const fs::path& folder) {
    const auto bytes = crypto::secureRandomBytes(screenshotBytes * 3 / 4);
    const std::string screenshot =
        "data:image/jpeg;base64," + base64::encode(std::string(bytes.begin(), bytes.end()));
    const Date start = dates::now();
    for (int i = 0; i < itemCount; ++i) {
        const CaptureIngestRequest request{{.content = "screenshot " + std::to_string(i),
                                            .tags = {"desktop", "screenshot"},
                                            .screenshot = screenshot,
                                            .sourceType = "screenshot"}};
        OutboxItem item = OutboxItem::make(request, "key-" + std::to_string(i), Destination::stash,
                                           "Screenshot " + std::to_string(i),
                                           start + std::chrono::seconds(i), "xctest-user");
        if (i % 3 == 0) {
            item.lastError = "server 503";
            item.attempts = i % 10;
        }
        const auto text = item.encoded();
        if (!text || !atomic_file::write(folder / (item.id + ".json"), *text)) {
            std::abort();
        }
    }
}

void expectItems(benchmark::State& state, std::size_t count) {
    if (count != itemCount) {
        state.SkipWithError("the outbox does not hold the items it was given");
    }
}

void pendingCount(benchmark::State& state) {
    for (auto _ : state) {
        const auto count = CaptureOutbox::pendingCount();
        benchmark::DoNotOptimize(count);
        expectItems(state, count);
    }
}

void pending(benchmark::State& state) {
    for (auto _ : state) {
        const auto items = CaptureOutbox::pending();
        benchmark::DoNotOptimize(items.data());
        expectItems(state, items.size());
    }
}

void queued(benchmark::State& state) {
    for (auto _ : state) {
        const auto rows = CaptureOutbox::queued();
        benchmark::DoNotOptimize(rows.data());
        expectItems(state, rows.size());
    }
}

// The baseline: read every item file and decode all of it, request included.
void fullDecode(benchmark::State& state) {
    const auto folder = *CaptureOutbox::directory();
    for (auto _ : state) {
        std::vector<OutboxItem> items;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() != ".json") {
                continue;
            }
            const auto text = atomic_file::read(entry.path());
            if (auto item = text ? OutboxItem::decode(*text) : std::unexpected(CodingError{})) {
                items.push_back(std::move(*item));
            }
        }
        benchmark::DoNotOptimize(items.data());
        expectItems(state, items.size());
    }
}

// Keeps each benchmark's time per iteration so the run can end with the comparison.
class ComparingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> times;
};

} // namespace

BENCHMARK(fullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(pendingCount)->Unit(benchmark::kMillisecond);
BENCHMARK(pending)->Unit(benchmark::kMillisecond);
BENCHMARK(queued)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    application::markRunningUnderTestRunner(); // a fixed owner, whatever the keyring holds
    benchmark::Initialize(&argc, argv);
    const Workspace workspace;
    fillOutbox(workspace.outbox());
    ComparingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto full = reporter.times.find("fullDecode");
    const auto count = reporter.times.find("pendingCount");
    if (full == reporter.times.end() || count == reporter.times.end()) {
        return 0; // filtered out
    }
    const double share = count->second / full->second;
    std::cout << "pendingCount takes " << share * 100 << " % of a full decode (at most 20 % "
              << "allowed)\n";
    return share <= 0.2 ? 0 : 1;
}
