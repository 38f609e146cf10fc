#include "capture_commands.hpp"

#include "account_commands.hpp"
#include "console.hpp"

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/delivery/suggest_client.hpp>
#include <capturekit/model/capture_surface.hpp>
#include <capturekit/model/raw_value.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/routing/capture_engine.hpp>

namespace tarvo::cli::CaptureCommands {

namespace {

using namespace capturekit;
using namespace capturekit::text;

// The words joined by single spaces, or standard input for a lone "-".
std::expected<std::string, UsageError> captureText(Arguments& arguments,
                                                   std::string_view question) {
    const auto words = arguments.rest();
    if (!words) {
        return std::unexpected(words.error());
    }
    std::string text;
    if (*words == std::vector<std::string>{"-"}) {
        text = Console::readStandardInput();
    } else {
        for (const auto& word : *words) {
            text += (text.empty() ? "" : " ") + validUTF8(word);
        }
    }
    if (trimmed(text).empty()) {
        return std::unexpected(UsageError{std::string(question) +
                                          " Give the text as words, or - to read standard input."});
    }
    return text;
}

std::expected<int, UsageError> captureOn(Arguments& arguments, CaptureSurface surface,
                                         bool isDictation, std::string_view question) {
    const auto text = captureText(arguments, question);
    if (!text) {
        return std::unexpected(text.error());
    }
    const CaptureItem item{
        .text = *text, .isDictation = isDictation, .surface = surface, .tags = {}};
    const CaptureClient client(Auth::defaultProvider());
    const SuggestClient suggestClient(Auth::defaultProvider());
    const auto outcome =
        CaptureEngine::capture(item, client, &suggestClient, std::string(DeviceInfo::name));
    Console::print(Console::printable(outcome.message));
    AccountCommands::sayHowToSignInWithoutDeviceToken();
    return outcome.success ? ExitCode::success : ExitCode::failure;
}

std::expected<int, UsageError> capture(Arguments& arguments) {
    return captureOn(arguments, CaptureSurface::captureIntent, true,
                     "What do you want to capture?");
}

std::expected<int, UsageError> note(Arguments& arguments) {
    return captureOn(arguments, CaptureSurface::rapportNoteIntent, true, "What's the note?");
}

std::expected<int, UsageError> reflect(Arguments& arguments) {
    return captureOn(arguments, CaptureSurface::reflectIntent, true, "What's on your mind?");
}

std::expected<int, UsageError> task(Arguments& arguments) {
    return captureOn(arguments, CaptureSurface::quickTaskWidget, false, "What's the task?");
}

// Bringing a running desktop app forward needs the app to listen for it; until one does, leaving
// the pending surface is all there is to do, and the app picks it up when it next comes forward.
std::expected<int, UsageError> open(Arguments& arguments) {
    const auto raw = arguments.takeOption("surface");
    if (!raw) {
        return std::unexpected(raw.error());
    }
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    const auto surface =
        raw->and_then([](const std::string& value) { return fromRawValue<CaptureSurface>(value); });
    SharedState::setPendingSurface(surface.value_or(CaptureSurface::captureIntent));
    return ExitCode::success;
}

std::expected<int, UsageError> record(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    SharedState::setPendingSurface(CaptureSurface::voiceCapture);
    return ExitCode::success;
}

} // namespace

std::vector<Command> all() {
    return {
        {"capture", "TEXT…|-",
         "Capture anything — tarvo sorts it for you. The words are joined by single spaces; - "
         "reads the text from standard input.",
         capture},
        {"note", "TEXT…|-", "Jot a private note about someone into rapport.", note},
        {"reflect", "TEXT…|-", "Start a reflection in diary.", reflect},
        {"task", "TEXT…|-", "Drop a task straight into docket.", task},
        {"open", "[--surface RAW]",
         "Open tarvo to capture something: leaves the capture surface (a surface raw value such as "
         "composer; captureIntent when missing or unknown) for the desktop app.",
         open},
        {"record", "",
         "Record a thought: asks the desktop app to start recording when it comes forward.",
         record},
    };
}

} // namespace tarvo::cli::CaptureCommands
