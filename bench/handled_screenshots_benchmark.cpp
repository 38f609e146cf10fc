// A start with a full screenshots folder: 12,000 screenshots, all handled before, so 12,000
// fingerprints stored. The start-up scan lists the folder and asks of each shot whether it was
// handled; then ten new screenshots are recorded while another thread keeps reading a setting, as
// the GUI thread reads the folder override. Measured now and with the list as it was handled
// before (kept in this file as the peer: the whole list read for every question, and statx run on
// every stored fingerprint inside the store's transaction for every record).
//
//   build/bin/bench_handled_screenshots

#include <desktop/model/app_settings.hpp>
#include <desktop/model/detected_screenshot.hpp>
#include <desktop/model/screenshot_watcher.hpp>

#include <capturekit/platform/preferences.hpp>

#include <support/temporary_folder.hpp>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace tarvo::desktop;
using capturekit::Preferences;
using capturekit::PreferenceValue;
using SteadyClock = std::chrono::steady_clock;

constexpr int screenshots = 12000;
constexpr int newShots = 10;

struct Folder {
    tarvo::test::TemporaryFolder folder;
    std::filesystem::path shots = folder / "Screenshots";
    std::vector<std::string> fingerprints;
    std::vector<std::string> newFingerprints;

    Folder() {
        std::filesystem::create_directory(shots);
        const auto now = capturekit::dates::now();
        // Saved an hour ago, so every one has settled when the scan starts.
        const timespec anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        for (int index = 0; index < screenshots + newShots; ++index) {
            const auto file = shots / ("Screenshot " + std::to_string(index) + ".png");
            const int descriptor = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            (void)::write(descriptor, "image", 5);
            ::futimens(descriptor, anHourAgo);
            ::close(descriptor);
            auto& list = index < screenshots ? fingerprints : newFingerprints;
            list.push_back(makeShot(file, now)->fingerprint);
        }
    }

    // A store that holds the 12,000 fingerprints, as the app left it.
    Preferences freshStore(const std::string& name) const {
        Preferences store("bench." + name, folder / "prefs");
        store.set(AppSettings::sentFingerprintsKey, fingerprints);
        return store;
    }
};

const Folder& folder() {
    static const Folder shared;
    return shared;
}

// The handled list as it was.
namespace before {

bool wasSent(const Preferences& store, std::string_view fingerprint) {
    const auto sent = store.get<std::vector<std::string>>(AppSettings::sentFingerprintsKey)
                          .value_or(std::vector<std::string>{});
    return std::ranges::find(sent, fingerprint) != sent.end();
}

void recordSent(const Preferences& store, const std::string& fingerprint) {
    store.update(AppSettings::sentFingerprintsKey, [&](std::optional<PreferenceValue> stored) {
        std::vector<std::string> list;
        if (auto* strings = stored ? std::get_if<std::vector<std::string>>(&*stored) : nullptr) {
            list = std::move(*strings);
        }
        if (std::ranges::find(list, fingerprint) != list.end()) {
            return std::optional<PreferenceValue>(std::move(list));
        }
        list.push_back(fingerprint);
        auto excess = list.size() > AppSettings::sentFingerprintLimit
                          ? list.size() - AppSettings::sentFingerprintLimit
                          : 0;
        std::erase_if(list, [&](const std::string& sent) {
            if (excess == 0 || isStillOnDisk(sent)) {
                return false;
            }
            --excess;
            return true;
        });
        return std::optional<PreferenceValue>(std::move(list));
    });
}

} // namespace before

// The start-up scan: the shots in the folder that were not handled.
template <typename WasSent> std::size_t unhandledAtStart(WasSent wasSent) {
    ScreenshotWatcher watcher([](const DetectedScreenshot&) {});
    std::size_t unhandled = 0;
    for (const auto& shot : watcher.scanExisting(folder().shots)) {
        unhandled += wasSent(shot.fingerprint) ? 0 : 1;
    }
    return unhandled;
}

void BM_StartUpScan_Before(benchmark::State& state) {
    const Preferences store = folder().freshStore("scan-before");
    std::size_t unhandled = 0;
    for (auto _ : state) {
        unhandled = unhandledAtStart(
            [&](std::string_view fingerprint) { return before::wasSent(store, fingerprint); });
    }
    state.counters["unhandled"] = static_cast<double>(unhandled);
}
BENCHMARK(BM_StartUpScan_Before)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_StartUpScan_Now(benchmark::State& state) {
    const Preferences store = folder().freshStore("scan-now");
    std::size_t unhandled = 0;
    for (auto _ : state) {
        const AppSettings settings(store, capturekit::SystemClock::shared()); // a fresh start
        unhandled = unhandledAtStart(
            [&](std::string_view fingerprint) { return settings.wasSent(fingerprint); });
    }
    state.counters["unhandled"] = static_cast<double>(unhandled);
}
BENCHMARK(BM_StartUpScan_Now)->Unit(benchmark::kMillisecond);

// Ten records on a worker while this thread reads a setting as fast as it can: the time per record
// and the longest the reader waited.
template <typename Record>
void recordBeside(benchmark::State& state, const Preferences& store, Record record) {
    SteadyClock::duration longestWait{};
    SteadyClock::duration recording{};
    for (auto _ : state) {
        std::atomic<bool> done = false;
        std::thread worker([&] {
            const auto start = SteadyClock::now();
            for (const auto& fingerprint : folder().newFingerprints) {
                record(fingerprint);
            }
            recording += SteadyClock::now() - start;
            done = true;
        });
        while (!done) {
            const auto start = SteadyClock::now();
            (void)store.get<std::string>(AppSettings::folderOverrideKey);
            longestWait = std::max(longestWait, SteadyClock::now() - start);
        }
        worker.join();
        state.PauseTiming();
        store.set(AppSettings::sentFingerprintsKey, folder().fingerprints);
        state.ResumeTiming();
    }
    using Milliseconds = std::chrono::duration<double, std::milli>;
    state.counters["ms_per_record"] =
        Milliseconds(recording).count() / static_cast<double>(state.iterations() * newShots);
    state.counters["longest_read_wait_ms"] = Milliseconds(longestWait).count();
}

void BM_RecordTen_Before(benchmark::State& state) {
    const Preferences store = folder().freshStore("record-before");
    recordBeside(state, store,
                 [&](const std::string& fingerprint) { before::recordSent(store, fingerprint); });
}
BENCHMARK(BM_RecordTen_Before)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RecordTen_Now(benchmark::State& state) {
    const Preferences store = folder().freshStore("record-now");
    const AppSettings settings(store, capturekit::SystemClock::shared());
    settings.wasSent(""); // loaded at start, before the first record
    recordBeside(state, store,
                 [&](const std::string& fingerprint) { settings.recordSent(fingerprint); });
}
BENCHMARK(BM_RecordTen_Now)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
