// The time from a screenshot's last write to its ingest request at the dev backend: a PNG is
// written and closed in a watched folder, the watcher reports it once it has settled, the
// uploader converts and sends it, and the clock stops when the backend's reply is back (so the
// figure is an upper bound). Twenty screenshots; prints each time and the median.
//
//   build/bin/bench_screenshot_latency [COUNT]

#include "desktop/image_files.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_process.hpp"
#include "support/fixed_token.hpp"

#include <desktop/model/desktop_uploader.hpp>
#include <desktop/model/screenshot_watcher.hpp>

#include <support/temporary_folder.hpp>

#include <QBuffer>
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

using namespace tarvo::desktop;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    tarvo::test::TemporaryFolder folder;
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    tarvo::test::DevBackendProcess backend;
    ::setenv("TARVO_API_BASE", backend.baseURL().c_str(), 1);
    tarvo::test::BackendClient client(backend);
    const auto account = client.newAccount();
    QCoreApplication application(argc, argv);

    const tarvo::test::FixedToken token(account.deviceToken);
    const capturekit::CaptureClient captureClient(token);
    const AppSettings settings(capturekit::Preferences("latency", folder / "prefs"),
                               capturekit::SystemClock::shared());
    const DesktopUploader uploader(captureClient, settings, "latency");

    // A full-HD screenshot's PNG, written the way screenshot tools write: data, then close.
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        tarvo::test::screenshotLikeImage(1920, 1080).save(&buffer, "PNG");
    }
    const auto shots = folder / "Screenshots";
    std::filesystem::create_directory(shots);

    std::vector<double> latencies;
    Clock::time_point written;
    ScreenshotWatcher watcher([&](const DetectedScreenshot& shot) {
        const auto outcome = uploader.uploadScreenshot(shot, std::nullopt);
        const double seconds = std::chrono::duration<double>(Clock::now() - written).count();
        std::printf("%-12s %.3f s (%s)\n", shot.fileName().c_str(), seconds,
                    outcome.kind == DesktopUploader::Outcome::Kind::sent ? "sent"
                                                                         : outcome.reason.c_str());
        latencies.push_back(seconds);
    });
    watcher.start(shots);

    int written_count = 0;
    const auto writeNext = [&] {
        const auto file = shots / ("Screenshot " + std::to_string(++written_count) + ".png");
        std::ofstream(file, std::ios::binary).write(png.constData(), png.size());
        written = Clock::now(); // closed when the stream went out of scope
    };
    QTimer pace;
    pace.setInterval(1500);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (static_cast<int>(latencies.size()) < written_count) {
            return; // the last one is still on its way
        }
        if (written_count == count) {
            QCoreApplication::quit();
            return;
        }
        writeNext();
    });
    pace.start();
    application.exec();

    std::ranges::sort(latencies);
    const double median =
        latencies.size() % 2 == 1
            ? latencies[latencies.size() / 2]
            : (latencies[latencies.size() / 2 - 1] + latencies[latencies.size() / 2]) / 2;
    std::printf("median of %zu: %.3f s (fastest %.3f s, slowest %.3f s)\n", latencies.size(),
                median, latencies.front(), latencies.back());
    return 0;
}
