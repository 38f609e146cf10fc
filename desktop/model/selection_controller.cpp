#include <desktop/model/selection_controller.hpp>

#include <desktop/model/account_controller.hpp>
#include <desktop/model/desktop_key_texts.hpp>
#include <desktop/model/qt_text.hpp>
#include <desktop/platform/desktop_log.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/sleeper.hpp>
#include <capturekit/platform/text.hpp>

#include <QPointer>

#include <atomic>

namespace tarvo::desktop {

using namespace capturekit;
using Kind = DesktopUploader::Outcome::Kind;

namespace {

constexpr std::size_t quickEventCharacters = 60;

} // namespace

// The selection waiting out its undo window, and the switch that ends the wait early to send it
// at once (quitting). Its phase decides, once, between a send and an undo that comes at the last
// moment: whichever claims it first wins.
struct SelectionController::Pending {
    enum Phase { waiting, sending, withdrawn };

    TaskHandle task;
    std::shared_ptr<std::stop_source> sendNow;
    std::shared_ptr<std::atomic<int>> phase;

    // Takes the selection back unless its send has begun.
    bool withdraw() const {
        int expected = waiting;
        if (!phase->compare_exchange_strong(expected, withdrawn)) {
            return false;
        }
        task.cancel();
        return true;
    }
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
    services_.hotkeys.setDesktopKeysChanged([this] { emit changed(); });
    undoWindowEnd_.setSingleShot(true);
    connect(&undoWindowEnd_, &QTimer::timeout, this, [this] { undoHotkey_.reset(); });
    if (hotkeyEnabled_) {
        registerSelectionHotkey();
    }
    if (quickEntryEnabled_) {
        registerQuickEntryHotkey();
    }
}

SelectionController::~SelectionController() {
    services_.hotkeys.setDesktopKeysChanged({});
}

std::vector<DesktopShortcut> SelectionController::desktopShortcuts() {
    return {{selectionKeyID, 'C', "capture-selection", "Capture selected text"},
            {quickEntryKeyID, 'T', "quick-entry", "Quick task to docket"}};
}

std::optional<QString> SelectionController::keyName(std::uint32_t id, char letter) const {
    const auto keys = desktopKeys();
    if (!keys) {
        return qtText(shortcutText(hotkeyCombo_, letter));
    }
    const auto assigned = DesktopKeyTexts::assignedKey(*keys, id);
    return assigned ? std::optional(qtText(*assigned)) : std::nullopt;
}

QString SelectionController::desktopKeyLine(std::uint32_t id) const {
    const auto keys = desktopKeys();
    const auto line = keys ? DesktopKeyTexts::keyLine(*keys, id) : std::nullopt;
    return line ? qtText(*line) : QString();
}

QString SelectionController::keysNote() const {
    const auto note = DesktopKeyTexts::note(desktopKeys(), !globalKeysSupported_);
    return note ? qtText(*note) : QString();
}

void SelectionController::configureDesktopKeys() {
    services_.hotkeys.configureDesktopKeys();
}

// A problem of the selection key: in its menu row, and told by the desktop, since the person
// pressed the key somewhere else.
void SelectionController::setHotkeyStatus(const QString& status) {
    publish(hotkeyStatus_, status);
    if (!status.isEmpty()) {
        feed_.announce(status);
    }
}

std::optional<QString> SelectionController::holdUndoKey() {
    if (!undoHotkey_) {
        undoHotkey_ = services_.hotkeys.makeHotkey(undoKeyID, 'Z', [this] { undoSelection(); });
    }
    undoWindowEnd_.start(undoWindow_);
    if (undoHotkey_->registerCombo(modifiers(hotkeyCombo_)) != HotkeyRegistration::registered) {
        undoHotkey_.reset();
        return std::nullopt;
    }
    return qtText(shortcutText(hotkeyCombo_, 'Z'));
}

template <typename T> void SelectionController::publish(T& field, T value) {
    if (field != value) {
        field = std::move(value);
        emit changed();
    }
}

// The row's line for a registration: nothing when it worked, and nothing either where the session
// sets no global keys, which the rows tell once for both keys.
QString SelectionController::registrationProblem(HotkeyRegistration registration, char letter) {
    publish(globalKeysSupported_, registration != HotkeyRegistration::unsupported);
    const std::string shortcut = shortcutText(hotkeyCombo_, letter);
    switch (registration) {
    case HotkeyRegistration::registered:
    case HotkeyRegistration::unsupported:
    case HotkeyRegistration::byDesktop:
        return {};
    case HotkeyRegistration::taken:
        return qtText("Couldn’t register " + shortcut + " — another app may have it.");
    case HotkeyRegistration::refused:
        break;
    }
    return qtText("Couldn’t register " + shortcut + ".");
}

void SelectionController::registerSelectionHotkey() {
    if (!hotkey_) {
        hotkey_ = services_.hotkeys.makeHotkey(selectionKeyID, 'C', [this] { captureSelection(); });
    }
    const auto registration = hotkey_->registerCombo(modifiers(hotkeyCombo_));
    publish(hotkeyStatus_, registrationProblem(registration, 'C'));
}

void SelectionController::registerQuickEntryHotkey() {
    if (!quickEntryHotkey_) {
        quickEntryHotkey_ =
            services_.hotkeys.makeHotkey(quickEntryKeyID, 'T', [this] { showQuickEntry(); });
    }
    const auto registration = quickEntryHotkey_->registerCombo(modifiers(hotkeyCombo_));
    publish(quickEntryStatus_, registrationProblem(registration, 'T'));
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
        setHotkeyStatus(QStringLiteral("Sign in first (menu bar icon)."));
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
        setHotkeyStatus(qtText(message));
        return;
    }
    if (pending_) {
        // The earlier selection is replaced: it is never sent, unless it is already on its way.
        pending_->withdraw();
    }
    publish(hotkeyStatus_, QString());
    const auto app = result->sourceApp ? std::optional(qtText(*result->sourceApp)) : std::nullopt;
    toast_.show(qtText(result->text), app, holdUndoKey(), [this] { undoSelection(); });
    sendAfterUndoWindow(*result);
}

void SelectionController::sendAfterUndoWindow(const TextSelectionCapture::Result& result) {
    auto sendNow = std::make_shared<std::stop_source>();
    auto phase = std::make_shared<std::atomic<int>>(Pending::waiting);
    const auto task = tasks_->run(
        [settings = settings_, result, sendNow, phase,
         wait = undoWindow_](std::stop_token stop) -> std::optional<SelectionSend> {
            std::stop_source wake;
            const std::stop_callback onStop(stop, [&wake] { wake.request_stop(); });
            const std::stop_callback onSendNow(sendNow->get_token(),
                                               [&wake] { wake.request_stop(); });
            ThreadSleeper::shared().sleep(wait, wake.get_token());
            int expected = Pending::waiting;
            if (stop.stop_requested() ||
                !phase->compare_exchange_strong(expected, Pending::sending)) {
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
    pending_ = std::make_unique<Pending>(Pending{task, sendNow, phase});
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
    if (pending_ && !pending_->withdraw()) {
        return; // too late: the send is under way
    }
    pending_.reset();
    undoWindowEnd_.stop();
    undoHotkey_.reset();
    toast_.dismiss();
    feed_.setLastEvent(QStringLiteral("Undone — nothing sent"));
}

std::optional<TaskHandle> SelectionController::sendPendingNow() {
    undoWindowEnd_.stop();
    undoHotkey_.reset();
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
