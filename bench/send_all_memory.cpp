// The peak memory of "Send all" with ten large screenshots waiting in the confirm panel, beside the
// conversion of one of them alone and beside ten conversions side by side (a thread for each
// upload). The model, its watcher and its uploads are the app's own; the backend is the dev
// backend over HTTP.
//
//   build/bin/bench_send_all_memory [MEGAPIXELS]   (default 40)

#include "bench/process_memory.hpp"
#include "desktop/image_files.hpp"
#include "desktop/qt_event_loop.hpp"
#include "desktop/recording_panels.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_process.hpp"

#include <desktop/imaging/jpeg_data_uri.hpp>
#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/fake/fake_desktop_services.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/token_store.hpp>

#include <support/temporary_folder.hpp>

#include <QBuffer>
#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

using namespace tarvo::desktop;
using namespace std::chrono_literals;

namespace {

constexpr int shotCount = 10;

QByteArray screenshotPng(double megapixels) {
    const int width = static_cast<int>(std::sqrt(megapixels * 1e6 * 16.0 / 10.0));
    const int height = width * 10 / 16;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tarvo::test::screenshotLikeImage(width, height).save(&buffer, "PNG");
    std::printf("screenshots: %d × %d (%.1f Mpx), PNG %.1f MiB each\n", width, height,
                width * static_cast<double>(height) / 1e6, png.size() / 1048576.0);
    return png;
}

} // namespace

int main(int argc, char** argv) {
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 40.0;
    tarvo::test::TemporaryFolder folder;
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    ::setenv("TARVO_SECRET_STORE", "file", 1);
    tarvo::test::DevBackendProcess backend;
    ::setenv("TARVO_API_BASE", backend.baseURL().c_str(), 1);
    const auto account = tarvo::test::BackendClient(backend).newAccount();
    QCoreApplication application(argc, argv);
    (void)capturekit::TokenStore::save(account.deviceToken);
    const auto shots = folder / "Shots";
    std::filesystem::create_directory(shots);
    capturekit::CaptureConfig::standardPreferences().set(AppSettings::folderOverrideKey,
                                                         shots.string());

    fake::FakeDesktopServices fakes;
    tarvo::test::RecordingPanels panels;
    CaptureMenuModel model(fakes.services(), panels.panels());
    tarvo::test::runEventsUntil([&] { return model.isLoaded(); }, 20s);
    auto& screenshots = model.screenshots();
    screenshots.setConfirmBeforeSending(true);
    screenshots.setAutoCapture(true);
    std::this_thread::sleep_for(50ms); // file times must not come before the switch-on

    {
        const QByteArray png = screenshotPng(megapixels);
        for (int index = 1; index <= shotCount; ++index) {
            const auto file = shots / ("Screenshot " + std::to_string(index) + ".png");
            std::ofstream(file, std::ios::binary).write(png.constData(), png.size());
        }
    }
    if (!tarvo::test::runEventsUntil([&] { return screenshots.pendingQueue().size() == shotCount; },
                                     60s)) {
        std::fprintf(stderr, "the screenshots were not queued\n");
        return 1;
    }
    const auto first = screenshots.pendingQueue().front().url;

    long start = tarvo::bench::resetPeakKiB();
    if (!jpegDataURI(first)) {
        std::fprintf(stderr, "the screenshot could not be converted\n");
        return 1;
    }
    const double one = tarvo::bench::peakRiseMiB(start);

    start = tarvo::bench::resetPeakKiB();
    panels.confirm.actions.onSendAll();
    const bool sent =
        tarvo::test::runEventsUntil([&] { return model.feed().sentCount() == shotCount; }, 600s);
    const double sendAll = tarvo::bench::peakRiseMiB(start);
    if (!sent) {
        std::fprintf(stderr, "Send all did not finish: %s\n",
                     model.feed().lastEvent().toStdString().c_str());
        return 1;
    }

    start = tarvo::bench::resetPeakKiB();
    {
        std::vector<std::jthread> conversions;
        for (int index = 0; index < shotCount; ++index) {
            conversions.emplace_back([&] { (void)jpegDataURI(first); });
        }
    }
    const double sideBySide = tarvo::bench::peakRiseMiB(start);

    std::printf("peak memory above the resting app:\n");
    std::printf("  one screenshot converted alone       %8.1f MiB\n", one);
    std::printf("  Send all %d, the app's upload queue  %8.1f MiB  (%.2f × one)\n", shotCount,
                sendAll, sendAll / one);
    std::printf("  %d conversions side by side (peer)   %8.1f MiB  (%.2f × one)\n", shotCount,
                sideBySide, sideBySide / one);
    return 0;
}
