#pragma once

// Turns the desktop app's three kinds of capture (a screenshot file, a text selection, a quick
// task) into ingest requests, sends them, and keeps in the outbox what the server cannot take
// now. Every send answers with one Outcome. The calls block on the network: run them on a worker
// thread; they may run at the same time.

#include <desktop/model/app_settings.hpp>
#include <desktop/model/detected_screenshot.hpp>

#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/model/capture_ingest_request.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/platform/date_time.hpp>

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace tarvo::desktop {

class DesktopUploader {
public:
    // Where a screenshot goes. An absent route is stash.
    struct Route {
        enum class Kind { rapportAvatar, stash };
        Kind kind = Kind::stash;
        std::string person; // rapportAvatar only

        static Route stash() { return {}; }
        static Route rapportAvatar(std::string person) {
            return {Kind::rapportAvatar, std::move(person)};
        }
        bool operator==(const Route&) const = default;
    };

    // Why a capture waits in the outbox when the server could not be reached, and when this
    // computer has no device token.
    static constexpr std::string_view unreachableReason =
        "couldn’t reach the server; it will try again";
    static constexpr std::string_view signInReason = "sign in from the tray menu to send it";

    struct Outcome {
        enum class Kind { sent, skipped, queued, failed };
        Kind kind = Kind::sent;
        std::optional<std::string> entryID; // sent only
        std::string reason;                 // all but sent

        static Outcome sent(std::optional<std::string> id) {
            return {Kind::sent, std::move(id), {}};
        }
        static Outcome skipped(std::string why) { return {Kind::skipped, {}, std::move(why)}; }
        static Outcome queued(std::string why) { return {Kind::queued, {}, std::move(why)}; }
        static Outcome failed(std::string why) { return {Kind::failed, {}, std::move(why)}; }
        bool operator==(const Outcome&) const = default;
    };

    // What a send brings back to the main thread: the outcome and, for a queued one, the outbox's
    // new count.
    struct Report {
        Outcome outcome;
        int outboxCount = -1;
    };

    // `deviceName` absent: the host's name, else "Linux".
    DesktopUploader(const capturekit::CaptureClient& client, const AppSettings& settings,
                    std::optional<std::string> deviceName = std::nullopt,
                    const capturekit::Clock& clock = capturekit::SystemClock::shared());

    // Skips a shot created before capture was switched on or already handled; otherwise sends it
    // as a JPEG data URI with its fingerprint as idempotency key. A sent or queued shot is
    // recorded as handled; a failed one is not.
    Outcome uploadScreenshot(const DetectedScreenshot& shot, const std::optional<Route>& route,
                             std::stop_token stop = {}) const;
    // The same text sent twice within one ten-minute bucket files once.
    Outcome sendSelection(const std::string& text, const std::optional<std::string>& windowTitle,
                          const std::optional<std::string>& sourceApp,
                          std::stop_token stop = {}) const;
    // A task for docket; blank text is skipped.
    Outcome sendQuickTask(const std::string& text, std::stop_token stop = {}) const;

    const std::string& deviceName() const { return deviceName_; }

    // Sends through an uploader over a fresh client of the default auth provider (blocking).
    static Report sendWithFreshClient(const AppSettings& settings,
                                      const std::function<Outcome(const DesktopUploader&)>& send);

    // A fingerprint as an HTTP header value: control characters (a line break in a file name)
    // percent-encoded, everything else as it is.
    static std::string idempotencyKey(std::string_view fingerprint);

private:
    Outcome deliver(capturekit::CaptureIngestRequest request, const std::string& key,
                    capturekit::Destination logDestination, const std::string& logTitle,
                    std::stop_token stop) const;

    capturekit::CaptureClient client_;
    const AppSettings* settings_;
    std::string deviceName_;
    const capturekit::Clock* clock_;
};

} // namespace tarvo::desktop
