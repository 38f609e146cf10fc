#include <desktop/model/selection_controller.hpp>

#include <desktop/model/account_controller.hpp>
#include <desktop/model/qt_text.hpp>
#include <desktop/platform/desktop_log.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/sleeper.hpp>
#include <capturekit/platform/text.hpp>

#include <QPointer>

namespace tarvo::desktop {

using namespace capturekit;
using Kind = DesktopUploader::Outcome::Kind;

namespace {

constexpr std::size_t quickEventCharacters = 60;

} // namespace

// The selection waiting out its undo window, and the switch that ends the wait early to send it
// at once (quitting).
struct SelectionController::Pending {
    TaskHandle task;
    std::shared_ptr<std::stop_source> sendNow;
};

struct SelectionController::SelectionSend {
    TextSelectionCapture::Result capture;
    DesktopUploader::Report report;
};

SelectionController::SelectionController(DesktopServices services, AppSettings settings,
                                         std::chrono::milliseconds undoWindow,
                                         SelectionToastPanel& toast, QuickEntryPanel& quickEntry,
                                         const AccountController& account, ActivityFeed& feed,
                                         QObject* parent)
    : QObject(parent), services_(services), settings_(std::move(settings)), undoWindow_(undoWindow),
      toast_(toast), quickEntry_(quickEntry), account_(account), feed_(feed),
      hotkeyEnabled_(settings_.selectionHotkeyEnabled()), hotkeyCombo_(settings_.hotkeyCombo()),
      quickEntryEnabled_(settings_.quickEntryHotkeyEnabled()),
      tasks_(std::make_unique<BackgroundTasks>(*this)) {
    const QPointer<SelectionController> self(this);
    quickEntry_.setSend([self](const std::string& text, auto done) {
        if (self) {
            self->sendQuickEntry(text, std::move(done));
        } else {
            done(QuickEntryOutcome::failed("the app went away"));
        }
    });
    if (hotkeyEnabled_) {
        registerSelectionHotkey();
    }
    if (quickEntryEnabled_) {
        registerQuickEntryHotkey();
    }
}

SelectionController::~SelectionController() = default;

template <typename T> void SelectionController::publish(T& field, T value) {
    if (field != value) {
        field = std::move(value);
        emit changed();
    }
}

QString SelectionController::registrationProblem(char letter) const {
    return qtText("Couldn’t register " + shortcutText(hotkeyCombo_, letter) +
                  " — another app may have it.");
}

void SelectionController::registerSelectionHotkey() {
    if (!hotkey_) {
        hotkey_ = services_.hotkeys.makeHotkey(selectionKeyID, 'C', [this] { captureSelection(); });
    }
    const bool registered = hotkey_->registerCombo(modifiers(hotkeyCombo_));
    publish(hotkeyStatus_, registered ? QString() : registrationProblem('C'));
}

void SelectionController::registerQuickEntryHotkey() {
    if (!quickEntryHotkey_) {
        quickEntryHotkey_ =
            services_.hotkeys.makeHotkey(quickEntryKeyID, 'T', [this] { showQuickEntry(); });
    }
    const bool registered = quickEntryHotkey_->registerCombo(modifiers(hotkeyCombo_));
    publish(quickEntryStatus_, registered ? QString() : registrationProblem('T'));
}

void SelectionController::setSelectionHotkeyEnabled(bool on) {
    settings_.setSelectionHotkeyEnabled(on);
    publish(hotkeyEnabled_, on);
    if (on) {
        registerSelectionHotkey();
        return;
    }
    hotkey_.reset();
    publish(hotkeyStatus_, QString());
}

void SelectionController::setQuickEntryEnabled(bool on) {
    settings_.setQuickEntryHotkeyEnabled(on);
    publish(quickEntryEnabled_, on);
    if (on) {
        registerQuickEntryHotkey();
        return;
    }
    quickEntryHotkey_.reset();
    publish(quickEntryStatus_, QString());
    if (quickEntry_.isShowing()) {
        quickEntry_.close();
    }
}

void SelectionController::setHotkeyCombo(HotkeyCombo combo) {
    if (combo == hotkeyCombo_) {
        return;
    }
    settings_.setHotkeyCombo(combo);
    publish(hotkeyCombo_, combo);
    if (hotkeyEnabled_) {
        registerSelectionHotkey();
    }
    if (quickEntryEnabled_) {
        registerQuickEntryHotkey();
    }
}

void SelectionController::showQuickEntry() {
    quickEntry_.show();
}

void SelectionController::captureSelection() {
    if (!account_.hasToken()) {
        publish(hotkeyStatus_, QStringLiteral("Sign in first (menu bar icon)."));
        return;
    }
    // Presses while a capture runs are the same request: that capture reads the selection.
    if (capturing_) {
        return;
    }
    capturing_ = true;
    tasks_->runOn(
        services_.selection.thread,
        [steps = services_.selection, frontmost = services_.frontmostApp.active()](
            std::stop_token) { return TextSelectionCapture::capture(steps, frontmost); },
        [this](CaptureResult result) { finishCapture(result); });
}

void SelectionController::finishCapture(const CaptureResult& result) {
    capturing_ = false;
    if (!result) {
        const std::string message = result.error().message(hotkeyCombo_);
        desktopLog(LogCategory::selection).info("capture failed: " + message);
        publish(hotkeyStatus_, qtText(message));
        return;
    }
    if (pending_) {
        // The earlier selection is replaced: it is never sent.
        pending_->task.cancel();
    }
    publish(hotkeyStatus_, QString());
    const auto app = result->sourceApp ? std::optional(qtText(*result->sourceApp)) : std::nullopt;
    toast_.show(qtText(result->text), app, [this] { undoSelection(); });
    sendAfterUndoWindow(*result);
}

void SelectionController::sendAfterUndoWindow(const TextSelectionCapture::Result& result) {
    auto sendNow = std::make_shared<std::stop_source>();
    const auto task = tasks_->run(
        [settings = settings_, result, sendNow,
         wait = undoWindow_](std::stop_token stop) -> std::optional<SelectionSend> {
            std::stop_source wake;
            const std::stop_callback onStop(stop, [&wake] { wake.request_stop(); });
            const std::stop_callback onSendNow(sendNow->get_token(),
                                               [&wake] { wake.request_stop(); });
            ThreadSleeper::shared().sleep(wait, wake.get_token());
            if (stop.stop_requested()) {
                return std::nullopt; // undone or replaced
            }
            // Stopped while sending (the app went), the send makes no further request and the
            // selection is queued.
            return SelectionSend{
                result, DesktopUploader::sendWithFreshClient(settings, [&](const auto& uploader) {
                    return uploader.sendSelection(result.text, result.windowTitle, result.sourceApp,
                                                  stop);
                })};
        },
        [this](std::optional<SelectionSend> sent) {
            if (sent) {
                finishSelectionSend(*sent);
            }
        });
    pending_ = std::make_unique<Pending>(Pending{task, sendNow});
    // Not holding the task itself, which would keep its state alive in a circle.
    task.whenFinished([this] {
        if (pending_ && pending_->task.isFinished()) {
            pending_.reset();
        }
    });
}

void SelectionController::finishSelectionSend(const SelectionSend& sent) {
    const auto& outcome = sent.report.outcome;
    if (outcome.kind == Kind::sent) {
        desktopLog(LogCategory::selection).info("sent ok");
    }
    feed_.report(sent.report, {.name = std::nullopt,
                               .sentEvent = qtText("Sent selection from " +
                                                   sent.capture.sourceApp.value_or("app") + " (" +
                                                   sent.capture.method + ")")});
    if (outcome.kind == Kind::failed) {
        desktopLog(LogCategory::selection).error("send failed: " + outcome.reason);
        publish(hotkeyStatus_, qtText(outcome.reason));
    }
}

void SelectionController::undoSelection() {
    if (pending_) {
        pending_->task.cancel();
        pending_.reset();
    }
    feed_.setLastEvent(QStringLiteral("Undone — nothing sent"));
}

std::optional<TaskHandle> SelectionController::sendPendingNow() {
    if (!pending_) {
        return std::nullopt;
    }
    toast_.dismiss();
    pending_->sendNow->request_stop();
    return pending_->task;
}

void SelectionController::sendQuickEntry(const std::string& text,
                                         std::function<void(QuickEntryOutcome)> done) {
    tasks_->run(
        [settings = settings_, text](std::stop_token stop) {
            return DesktopUploader::sendWithFreshClient(
                settings, [&](const auto& uploader) { return uploader.sendQuickTask(text, stop); });
        },
        [this, text, done = std::move(done)](DesktopUploader::Report report) {
            const auto& outcome = report.outcome;
            feed_.report(report,
                         {.name = std::nullopt,
                          .sentEvent = qtText("Sent to docket: " +
                                              text::characterPrefix(text, quickEventCharacters)),
                          .skippedIsFailure = true});
            if (outcome.kind == Kind::sent) {
                done(QuickEntryOutcome::sent());
            } else if (outcome.kind == Kind::queued) {
                done(QuickEntryOutcome::queued(outcome.reason));
            } else {
                desktopLog(LogCategory::quick).error("send failed: " + outcome.reason);
                done(QuickEntryOutcome::failed(outcome.reason));
            }
        });
}

} // namespace tarvo::desktop
