#include "capture_commands.hpp"

#include "account_commands.hpp"
#include "console.hpp"

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/shared_state.hpp>
#include <capturekit/delivery/suggest_client.hpp>
#include <capturekit/model/capture_surface.hpp>
#include <capturekit/model/raw_value.hpp>
#include <capturekit/platform/instance_socket.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/routing/capture_engine.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

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

bool hasDesktopSession() {
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

// The desktop app beside this program when there is one, else the one on the PATH, started in a
// session of its own with nothing of ours attached.
bool startDesktopApp() {
    const std::string name = "tarvo-capture-desktop";
    std::error_code error;
    const auto beside = std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / name;
    const bool local = !error && ::access(beside.c_str(), X_OK) == 0;
    const std::string program = local ? beside.string() : name;
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    for (const int descriptor : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&files, descriptor, "/dev/null", O_RDWR, 0);
    }
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char* const words[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--show-menu"),
                           nullptr};
    pid_t child = 0;
    const int failed =
        local ? posix_spawn(&child, program.c_str(), &files, &attributes, words, environ)
              : posix_spawnp(&child, program.c_str(), &files, &attributes, words, environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return failed == 0;
}

// The running desktop app shows its menu; without one it is started with that request.
void bringDesktopAppForward() {
    using namespace std::chrono_literals;
    if (const auto socket = instance::socketPath();
        socket &&
        instance::sendArguments(*socket, {"--show-menu"}, 3s) == instance::Delivery::delivered) {
        return;
    }
    if (!hasDesktopSession()) {
        Console::printError("tarvo-capture-desktop is not running, and there is no desktop "
                            "session to start it in; it will pick this up when it next starts.");
    } else if (!startDesktopApp()) {
        Console::printError("Couldn't start tarvo-capture-desktop; it will pick this up when it "
                            "next starts.");
    }
}

// The pending surface is left for the suite, then the desktop app comes forward.
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
    bringDesktopAppForward();
    return ExitCode::success;
}

std::expected<int, UsageError> record(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    SharedState::setPendingSurface(CaptureSurface::voiceCapture);
    bringDesktopAppForward();
    return ExitCode::success;
}

} // namespace

std::vector<Command> all() {
    return {
        {"capture", "TEXT…|-", "Capture anything — tarvo sorts it for you.",
         "Capture anything — tarvo sorts it for you. The words are joined by single spaces; - "
         "reads the text from standard input.",
         capture},
        {"note", "TEXT…|-", "Jot a private note about someone into rapport.",
         "Jot a private note about someone into rapport.", note},
        {"reflect", "TEXT…|-", "Start a reflection in diary.", "Start a reflection in diary.",
         reflect},
        {"task", "TEXT…|-", "Drop a task straight into docket.",
         "Drop a task straight into docket.", task},
        {"open", "[--surface RAW]", "Open tarvo to capture something.",
         "Open tarvo to capture something: leaves the capture surface (a surface raw value such as "
         "composer; captureIntent when missing or unknown) and brings the desktop app's menu "
         "forward, starting the app when it is not running.",
         open},
        {"record", "", "Record a thought: leave the recording surface for the suite's apps.",
         "Record a thought: leaves the recording surface and brings the desktop app's menu "
         "forward, starting the app when it is not running.",
         record},
    };
}

} // namespace tarvo::cli::CaptureCommands
