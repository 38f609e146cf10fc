#include <desktop/model/desktop_uploader.hpp>

#include <desktop/imaging/jpeg_data_uri.hpp>
#include <desktop/platform/desktop_log.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/platform_words.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/delivery/idempotency_key.hpp>
#include <capturekit/platform/host_name.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/url.hpp>
#include <capturekit/platform/uuid.hpp>
#include <capturekit/routing/quick_task.hpp>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

constexpr std::size_t logTitleCharacters = 60;

// Desktop captures carry the opt-out too unless the person said yes to AI.
std::optional<bool> aiOptOut() {
    return AIConsent::isGranted() ? std::nullopt : std::optional<bool>(true);
}

// A reason as the first clause of a sentence that goes on: typographic apostrophes, no full stop.
std::string asClause(std::string reason) {
    if (reason.ends_with('.')) {
        reason.pop_back();
    }
    std::string clause;
    for (const char c : reason) {
        clause += c == '\'' ? std::string("’") : std::string(1, c);
    }
    return clause;
}

// Why a capture waits, in words a person can act on; the transport's own text goes to the log.
std::string queueReason(const CaptureError& error) {
    switch (error.kind) {
    case CaptureError::Kind::missingToken:
        return std::string(DesktopUploader::signInReason);
    case CaptureError::Kind::network:
        desktopLog(LogCategory::selection).info("send failed: " + error.description());
        return std::string(DesktopUploader::unreachableReason);
    case CaptureError::Kind::encodingFailed:
        break;
    }
    return error.description();
}

} // namespace

DesktopUploader::DesktopUploader(const CaptureClient& client, const AppSettings& settings,
                                 std::optional<std::string> deviceName, const Clock& clock)
    : client_(client), settings_(&settings),
      deviceName_(deviceName
                      ? std::move(*deviceName)
                      : host::localizedName().value_or(std::string(PlatformWords::deviceName))),
      clock_(&clock) {}

DesktopUploader::Report
DesktopUploader::sendWithFreshClient(const AppSettings& settings,
                                     const std::function<Outcome(const DesktopUploader&)>& send) {
    const CaptureClient client(Auth::defaultProvider());
    const DesktopUploader uploader(client, settings);
    Report report{send(uploader), -1};
    if (report.outcome.kind == Outcome::Kind::queued) {
        report.outboxCount = static_cast<int>(CaptureOutbox::pendingCount());
    }
    return report;
}

std::string DesktopUploader::idempotencyKey(std::string_view fingerprint) {
    return url::percentEncode(fingerprint,
                              [](unsigned char byte) { return byte >= 0x20 && byte != 0x7F; });
}

DesktopUploader::Outcome DesktopUploader::deliver(CaptureIngestRequest request,
                                                  const std::string& key,
                                                  Destination logDestination,
                                                  const std::string& logTitle,
                                                  std::stop_token stop) const {
    const auto result = client_.send(request, key, stop);
    if (result && result->success) {
        return Outcome::sent(result->id);
    }
    if (result &&
        CaptureOutbox::disposition(result->statusCode) == CaptureOutbox::Disposition::drop) {
        return Outcome::failed("Ingest returned " + std::to_string(result->statusCode));
    }
    const std::string why =
        result ? CaptureOutbox::reason(result->statusCode) : queueReason(result.error());
    if (!CaptureOutbox::enqueue(request, key, logDestination, logTitle)) {
        // Only what is on disk is "saved to send later".
        return Outcome::failed(asClause(why) + "; couldn’t keep it to send later");
    }
    return Outcome::queued(why);
}

DesktopUploader::Outcome DesktopUploader::uploadScreenshot(const DetectedScreenshot& shot,
                                                           const std::optional<Route>& route,
                                                           std::stop_token stop) const {
    const auto switchedOn = settings_->autoCaptureEnabledAt();
    if (switchedOn && shot.createdAt < *switchedOn) {
        return Outcome::skipped("older than the toggle");
    }
    if (settings_->wasSent(shot.fingerprint)) {
        return Outcome::skipped("already sent");
    }
    const std::string fileName = shot.fileName();
    auto dataURI = jpegDataURI(shot.url);
    if (!dataURI) {
        return Outcome::failed("Couldn't read " + fileName);
    }
    const bool avatar = route && route->kind == Route::Kind::rapportAvatar;
    CaptureIngestRequest request({
        .destination = avatar ? std::optional(Destination::rapport) : std::nullopt,
        .content = {},
        .tags = {},
        .screenshot = std::move(*dataURI),
        .personName = avatar ? std::optional(route->person) : std::nullopt,
        .rapportAvatar = avatar ? std::optional(true) : std::nullopt,
        .aiOptOut = aiOptOut(),
        .sourceApp = std::string(PlatformWords::platformTag),
        .sourceRef = shot.fingerprint,
        .device = deviceName_,
        .makeTask = false,
    });
    auto outcome =
        deliver(std::move(request), idempotencyKey(shot.fingerprint),
                avatar ? Destination::rapport : Destination::stash, fileName, std::move(stop));
    if (outcome.kind == Outcome::Kind::sent || outcome.kind == Outcome::Kind::queued) {
        settings_->recordSent(shot.fingerprint);
    }
    return outcome;
}

DesktopUploader::Outcome DesktopUploader::sendSelection(
    const std::string& text, const std::optional<std::string>& windowTitle,
    const std::optional<std::string>& sourceApp, std::stop_token stop) const {
    CaptureIngestRequest request({
        .title = windowTitle,
        .content = text,
        .tags = {"desktop"},
        .aiOptOut = aiOptOut(),
        .sourceType = "text_capture",
        .sourceApp = sourceApp,
        .device = deviceName_,
        .makeTask = false,
    });
    const std::string logTitle =
        windowTitle.value_or(text::characterPrefix(text, logTitleCharacters));
    return deliver(std::move(request), IdempotencyKey::selection(text, clock_->now()),
                   Destination::stash, logTitle, std::move(stop));
}

DesktopUploader::Outcome DesktopUploader::sendQuickTask(const std::string& text,
                                                        std::stop_token stop) const {
    auto entry = QuickTask::entry(text, deviceName_, makeUUIDString());
    if (!entry) {
        return Outcome::skipped("nothing to send");
    }
    entry->request.aiOptOut = aiOptOut();
    return deliver(entry->request, entry->idempotencyKey(), Destination::docket,
                   text::characterPrefix(text, logTitleCharacters), std::move(stop));
}

} // namespace tarvo::desktop
