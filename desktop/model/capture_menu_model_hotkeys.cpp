// CaptureMenuModel: the two global hot keys, the selected-text capture with its undo window, and
// the quick-entry send.

#include <desktop/model/capture_menu_model.hpp>

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/log.hpp>
#include <capturekit/platform/sleeper.hpp>
#include <capturekit/platform/text.hpp>

#include <desktop/model/desktop_uploader.hpp>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

constexpr std::uint32_t selectionKeyID = 1;
constexpr std::uint32_t quickEntryKeyID = 2;

const Logger& selectionLog() {
    static const Logger logger(application::identifier(), "selection");
    return logger;
}

const Logger& quickLog() {
    static const Logger logger(application::identifier(), "quick");
    return logger;
}

// What a send reports back: the uploader's outcome and, for a queued one, the outbox's new count.
struct SendReport {
    DesktopUploader::Outcome outcome;
    int outboxCount = -1;
};

template <typename Send> SendReport sendWithFreshClient(const AppSettings& settings, Send send) {
    const CaptureClient client(Auth::defaultProvider());
    const DesktopUploader uploader(client, settings);
    SendReport report{send(uploader), -1};
    if (report.outcome.kind == DesktopUploader::Outcome::Kind::queued) {
        report.outboxCount = static_cast<int>(CaptureOutbox::pendingCount());
    }
    return report;
}

} // namespace

struct CaptureMenuModel::SelectionSend {
    TextSelectionCapture::Result capture;
    SendReport report;
};

void CaptureMenuModel::attachPanels(SelectionToastPanel& toast, QuickEntryPanel& quickEntry) {
    toast_ = &toast;
    quickEntry_ = &quickEntry;
    if (hotkeyEnabled_) {
        registerSelectionHotkey();
    }
    if (quickEntryEnabled_) {
        registerQuickEntryHotkey();
    }
}

QString CaptureMenuModel::registrationProblem(char letter) const {
    return QString::fromStdString("Couldn’t register " + shortcutText(hotkeyCombo_, letter) +
                                  " — another app may have it.");
}

void CaptureMenuModel::registerSelectionHotkey() {
    if (!hotkey_) {
        hotkey_ = services_.hotkeys.makeHotkey(selectionKeyID, 'C', [this] { captureSelection(); });
    }
    const bool registered = hotkey_->registerCombo(hotkeyCombo_);
    publish(hotkeyStatus_, registered ? QString() : registrationProblem('C'),
            &CaptureMenuModel::hotkeyStatusChanged);
}

void CaptureMenuModel::registerQuickEntryHotkey() {
    if (!quickEntryHotkey_) {
        quickEntryHotkey_ =
            services_.hotkeys.makeHotkey(quickEntryKeyID, 'T', [this] { showQuickEntry(); });
    }
    const bool registered = quickEntryHotkey_->registerCombo(hotkeyCombo_);
    publish(quickEntryStatus_, registered ? QString() : registrationProblem('T'),
            &CaptureMenuModel::quickEntryStatusChanged);
}

void CaptureMenuModel::setSelectionHotkeyEnabled(bool on) {
    settings_.setSelectionHotkeyEnabled(on);
    publish(hotkeyEnabled_, on, &CaptureMenuModel::hotkeyEnabledChanged);
    if (on) {
        registerSelectionHotkey();
        return;
    }
    hotkey_.reset();
    publish(hotkeyStatus_, QString(), &CaptureMenuModel::hotkeyStatusChanged);
}

void CaptureMenuModel::setQuickEntryEnabled(bool on) {
    settings_.setQuickEntryHotkeyEnabled(on);
    publish(quickEntryEnabled_, on, &CaptureMenuModel::quickEntryEnabledChanged);
    if (on) {
        registerQuickEntryHotkey();
        return;
    }
    quickEntryHotkey_.reset();
    publish(quickEntryStatus_, QString(), &CaptureMenuModel::quickEntryStatusChanged);
    if (quickEntry_ != nullptr && quickEntry_->isShowing()) {
        quickEntry_->close();
    }
}

void CaptureMenuModel::setHotkeyCombo(HotkeyCombo combo) {
    if (combo == hotkeyCombo_) {
        return;
    }
    settings_.setHotkeyCombo(combo);
    publish(hotkeyCombo_, combo, &CaptureMenuModel::hotkeyComboChanged);
    if (hotkeyEnabled_) {
        registerSelectionHotkey();
    }
    if (quickEntryEnabled_) {
        registerQuickEntryHotkey();
    }
}

void CaptureMenuModel::showQuickEntry() {
    if (quickEntry_ != nullptr) {
        quickEntry_->show();
    }
}

void CaptureMenuModel::captureSelection() {
    if (!hasToken_) {
        publish(hotkeyStatus_, QStringLiteral("Sign in first (menu bar icon)."),
                &CaptureMenuModel::hotkeyStatusChanged);
        return;
    }
    // Presses while a capture runs are the same request: that capture reads the selection.
    if (capturing_) {
        return;
    }
    capturing_ = true;
    const auto frontmost = services_.frontmostApp.active();
    QPointer<CaptureMenuModel> self(this);
    services_.selection.thread.post([self, steps = services_.selection, frontmost] {
        auto result = TextSelectionCapture::capture(steps, frontmost);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, result = std::move(result)] {
                if (self) {
                    self->finishCapture(result);
                }
            },
            Qt::QueuedConnection);
    });
}

void CaptureMenuModel::finishCapture(
    const std::expected<TextSelectionCapture::Result, TextSelectionCapture::Failure>& result) {
    capturing_ = false;
    if (!result) {
        const std::string message = result.error().message(hotkeyCombo_);
        selectionLog().info("capture failed: " + message);
        publish(hotkeyStatus_, QString::fromStdString(message),
                &CaptureMenuModel::hotkeyStatusChanged);
        return;
    }
    if (pendingSend_) {
        // The earlier selection is replaced: it is never sent.
        pendingSend_->cancel();
    }
    publish(hotkeyStatus_, QString(), &CaptureMenuModel::hotkeyStatusChanged);
    if (toast_ != nullptr) {
        const auto app = result->sourceApp
                             ? std::optional(QString::fromStdString(*result->sourceApp))
                             : std::nullopt;
        toast_->show(QString::fromStdString(result->text), app, [this] { undoSelection(); });
    }
    sendAfterUndoWindow(*result);
}

void CaptureMenuModel::sendAfterUndoWindow(const TextSelectionCapture::Result& result) {
    auto queueOnStop = std::make_shared<std::atomic<bool>>(false);
    queuePendingOnStop_ = queueOnStop;
    const auto task = tasks_->run(
        [settings = settings_, result, queueOnStop,
         wait = timing_.undoWindow](std::stop_token stop) -> std::optional<SelectionSend> {
            ThreadSleeper::shared().sleep(wait, stop);
            if (stop.stop_requested() && !queueOnStop->load()) {
                return std::nullopt; // undone or replaced
            }
            // A stopped send makes no request and is queued: the quit path ends up here.
            return SelectionSend{result, sendWithFreshClient(settings, [&](const auto& uploader) {
                                     return uploader.sendSelection(result.text, result.windowTitle,
                                                                   result.sourceApp, stop);
                                 })};
        },
        [this](std::optional<SelectionSend> sent) {
            if (sent) {
                finishSelectionSend(*sent);
            }
        });
    setPendingSend(task);
}

void CaptureMenuModel::finishSelectionSend(const SelectionSend& sent) {
    const auto& outcome = sent.report.outcome;
    using Kind = DesktopUploader::Outcome::Kind;
    switch (outcome.kind) {
    case Kind::sent:
        selectionLog().info("sent ok");
        publish(sentCount_, sentCount_ + 1, &CaptureMenuModel::sentCountChanged);
        publish(lastEvent_,
                QString::fromStdString("Sent selection from " +
                                       sent.capture.sourceApp.value_or("app") + " (" +
                                       sent.capture.method + ")"),
                &CaptureMenuModel::lastEventChanged);
        break;
    case Kind::skipped:
        publish(lastEvent_, QString::fromStdString("Skipped — " + outcome.reason),
                &CaptureMenuModel::lastEventChanged);
        break;
    case Kind::queued:
        publish(lastEvent_, QString::fromStdString("Saved to send later — " + outcome.reason),
                &CaptureMenuModel::lastEventChanged);
        publish(outboxCount_, sent.report.outboxCount, &CaptureMenuModel::outboxCountChanged);
        break;
    case Kind::failed:
        selectionLog().error("send failed: " + outcome.reason);
        publish(lastEvent_, QString::fromStdString("Failed — " + outcome.reason),
                &CaptureMenuModel::lastEventChanged);
        publish(hotkeyStatus_, QString::fromStdString(outcome.reason),
                &CaptureMenuModel::hotkeyStatusChanged);
        break;
    }
}

void CaptureMenuModel::undoSelection() {
    if (pendingSend_) {
        pendingSend_->cancel();
        pendingSend_.reset();
    }
    publish(lastEvent_, QStringLiteral("Undone — nothing sent"),
            &CaptureMenuModel::lastEventChanged);
}

void CaptureMenuModel::queueSelectionOnQuit() {
    if (!pendingSend_) {
        return;
    }
    if (toast_ != nullptr) {
        toast_->dismiss();
    }
    if (queuePendingOnStop_) {
        queuePendingOnStop_->store(true);
    }
    pendingSend_->cancel();
}

void CaptureMenuModel::sendQuickEntry(const std::string& text,
                                      std::function<void(QuickEntryOutcome)> done) {
    tasks_->run(
        [settings = settings_, text](std::stop_token stop) {
            return sendWithFreshClient(
                settings, [&](const auto& uploader) { return uploader.sendQuickTask(text, stop); });
        },
        [this, text, done = std::move(done)](SendReport report) {
            const auto& outcome = report.outcome;
            using Kind = DesktopUploader::Outcome::Kind;
            if (outcome.kind == Kind::sent) {
                publish(sentCount_, sentCount_ + 1, &CaptureMenuModel::sentCountChanged);
                publish(
                    lastEvent_,
                    QString::fromStdString("Sent to docket: " + text::characterPrefix(text, 60)),
                    &CaptureMenuModel::lastEventChanged);
                done(QuickEntryOutcome::sent());
            } else if (outcome.kind == Kind::queued) {
                publish(outboxCount_, report.outboxCount, &CaptureMenuModel::outboxCountChanged);
                publish(lastEvent_,
                        QString::fromStdString("Saved to send later — " + outcome.reason),
                        &CaptureMenuModel::lastEventChanged);
                done(QuickEntryOutcome::queued(outcome.reason));
            } else {
                quickLog().error("send failed: " + outcome.reason);
                publish(lastEvent_, QString::fromStdString("Failed — " + outcome.reason),
                        &CaptureMenuModel::lastEventChanged);
                done(QuickEntryOutcome::failed(outcome.reason));
            }
        });
}

} // namespace tarvo::desktop
