// How long the main thread stalls while the confirm panel shows a very large screenshot: a timer
// ticks every 2 ms and the longest gap between ticks is the stall a person would feel (a frozen
// menu, a tray that does not answer). The app's panel decodes its preview on a worker; the peer
// decodes the same preview on the main thread, as the panel once did.
//
//   build/bin/bench_confirm_preview_stall [MEGAPIXELS]   (default 64)

#include "desktop/image_files.hpp"

#include <desktop/imaging/jpeg_data_uri.hpp>
#include <desktop/ui/confirm_panel.hpp>

#include <support/temporary_folder.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace tarvo::desktop;

namespace {

struct Stall {
    double longestGapMs = 0;
    double untilDoneMs = 0;
};

// Runs the event loop with a 2 ms ticker from `begin` until `done`, and measures the ticks' gaps.
Stall measure(const std::function<void()>& begin, const std::function<bool()>& done) {
    Stall stall;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stall.longestGapMs =
            std::max(stall.longestGapMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
        if (done()) {
            stall.untilDoneMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            QCoreApplication::quit();
        }
    });
    clock.start();
    sinceTick.start();
    ticker.start();
    QTimer::singleShot(0, begin);
    QApplication::exec();
    return stall;
}

} // namespace

int main(int argc, char** argv) {
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 64.0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    tarvo::test::TemporaryFolder folder;
    const int side = static_cast<int>(std::sqrt(megapixels * 1e6));
    const auto file = folder / "Screenshot.png";
    tarvo::test::saveImage(file, tarvo::test::screenshotLikeImage(side, side), "PNG");
    std::printf("screenshot: %d × %d (%.1f Mpx)\n", side, side, side * double(side) / 1e6);

    ConfirmPanelController panel;
    const DetectedScreenshot shot{.url = file,
                                  .createdAt = {},
                                  .size = 1,
                                  .fingerprint = "large|1|1",
                                  .frontmostWindowTitle = std::nullopt};
    const Stall app = measure([&] { panel.show(shot, 0, std::nullopt); },
                              [&] { return panel.view() && !panel.view()->preview().isNull(); });

    QImage preview;
    const Stall peer = measure(
        [&] {
            const auto bytes = ScreenshotImage::readFile(file);
            preview =
                ScreenshotImage::decode(*bytes, ConfirmPopupView::previewSide).value_or(QImage());
        },
        [&] { return !preview.isNull(); });

    std::printf("longest main-thread stall until the preview shows:\n");
    std::printf("  the app's panel (worker decode)      %8.1f ms  (preview after %.0f ms)\n",
                app.longestGapMs, app.untilDoneMs);
    std::printf("  decoding on the main thread (peer)   %8.1f ms  (preview after %.0f ms)\n",
                peer.longestGapMs, peer.untilDoneMs);
    return 0;
}
