#include "outbox_commands.hpp"

#include "account_commands.hpp"
#include "console.hpp"

#include <capturekit/account/auth_providers.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/model/raw_value.hpp>

namespace tarvo::cli::OutboxCommands {

namespace {

using namespace capturekit;

std::string plural(std::size_t count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

void printSummary() {
    const auto summary = CaptureOutbox::summary();
    if (!summary) {
        Console::print("Nothing waiting.");
        return;
    }
    std::string line = std::to_string(CaptureOutbox::pendingCount()) + " waiting, oldest queued " +
                       Console::age(summary->oldest, dates::now());
    if (summary->lastError) {
        line += " — last error: " + Console::printable(*summary->lastError) + " (" +
                plural(static_cast<std::size_t>(summary->attempts), "attempt") + ")";
    }
    if (const auto stalled = CaptureOutbox::stalledCount(); stalled > 0) {
        line += "; " + std::to_string(stalled) + " held back until a forced flush (--force)";
    }
    Console::print(line);
}

std::expected<int, UsageError> list(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    const auto now = dates::now();
    for (const auto& row : CaptureOutbox::queued()) {
        Console::print(Console::printable(row.title) + "\t" +
                       std::string(rawValue(row.destination)) + "\t" + Console::age(row.age, now) +
                       "\t" + Console::printable(row.error.value_or("-")));
    }
    printSummary();
    return ExitCode::success;
}

std::expected<int, UsageError> flush(Arguments& arguments) {
    const bool force = arguments.takeFlag("force");
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    if (CaptureOutbox::pendingCount() == 0) {
        Console::print("Nothing waiting.");
        return ExitCode::success;
    }
    if (!TokenStore::hasToken()) {
        AccountCommands::sayHowToSignInWithoutDeviceToken();
        return ExitCode::failure;
    }
    return deliverWaiting(force) == 0 ? ExitCode::success : ExitCode::failure;
}

std::expected<int, UsageError> outbox(Arguments& arguments) {
    const auto action = arguments.takeWord();
    if (action == "list") {
        return list(arguments);
    }
    if (action == "flush") {
        return flush(arguments);
    }
    return std::unexpected(UsageError{action ? "unknown action \"" + *action + "\" (list, flush)"
                                             : "say list or flush"});
}

} // namespace

std::size_t deliverWaiting(bool force) {
    const CaptureClient client(Auth::defaultProvider());
    const int delivered = CaptureOutbox::flush(client, force, std::nullopt);
    if (delivered > 0) {
        Console::print("Sent " + plural(static_cast<std::size_t>(delivered), "capture") +
                       " that were waiting");
    }
    printSummary();
    return CaptureOutbox::pendingCount();
}

std::vector<Command> all() {
    return {{"outbox", "list | flush [--force]",
             "List the captures waiting to be sent, or send them now.",
             "list: one row per queued capture (title, destination, age, last error) and a "
             "summary.\nflush: delivers the queued captures now; --force also sends those held "
             "back after repeated failures; exits 1 while captures still wait.",
             outbox}};
}

} // namespace tarvo::cli::OutboxCommands
