#include <desktop/platform/x11/glib_capture_thread.hpp>

#include <glib.h>

namespace tarvo::desktop {

namespace {

gboolean runJob(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void dropJob(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

} // namespace

GlibCaptureThread::GlibCaptureThread()
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
}

GlibCaptureThread::~GlibCaptureThread() {
    // Quit from inside the loop: a quit sent before the loop runs would be lost.
    post([this] { g_main_loop_quit(loop_); });
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void GlibCaptureThread::post(std::function<void()> job) {
    g_main_context_invoke_full(context_, G_PRIORITY_DEFAULT, runJob,
                               new std::function<void()>(std::move(job)), dropJob);
}

} // namespace tarvo::desktop
