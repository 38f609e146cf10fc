#pragma once

// The capture thread: it runs a main loop of its own, so the libraries the capture steps use
// (AT-SPI's bus connection) are dispatched there and never on the app's main thread.

#include <desktop/platform/capture_thread.hpp>

#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace tarvo::desktop {

class GlibCaptureThread final : public CaptureThread {
public:
    GlibCaptureThread();
    // Ends once the jobs posted before have run.
    ~GlibCaptureThread() override;
    GlibCaptureThread(const GlibCaptureThread&) = delete;
    GlibCaptureThread& operator=(const GlibCaptureThread&) = delete;

    void post(std::function<void()> job) override;

private:
    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;
};

} // namespace tarvo::desktop
