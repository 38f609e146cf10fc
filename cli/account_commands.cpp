#include "account_commands.hpp"

#include "console.hpp"
#include "outbox_commands.hpp"

#include <capturekit/account/account_steps.hpp>
#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/platform_words.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/secret_store.hpp>
#include <capturekit/platform/text.hpp>

namespace tarvo::cli::AccountCommands {

namespace {

using namespace capturekit;
using namespace capturekit::text;

constexpr std::string_view signInHint = "tarvo-capture signin --email EMAIL";

std::string consentState() {
    if (!AIConsent::hasDecided()) {
        return "not decided";
    }
    return AIConsent::isGranted() ? "granted" : "declined";
}

void askForConsentIfUndecided() {
    AIConsent::askIfUndecided();
    if (!AIConsent::hasDecided()) {
        Console::print("AI on captures is not decided yet: run `tarvo-capture consent grant` to "
                       "let tarvo suggest where captures go, or `tarvo-capture consent decline`.");
    }
}

std::expected<std::string, UsageError> password(Arguments& arguments) {
    if (arguments.takeFlag("password-stdin")) {
        return Console::readStandardInput();
    }
    if (!Console::inputIsTerminal()) {
        return std::unexpected(
            UsageError{"standard input is no terminal: pass the password with --password-stdin"});
    }
    const auto typed = Console::readSecretLine("Password: ");
    if (!typed) {
        return std::unexpected(UsageError{"no password given"});
    }
    return *typed;
}

std::expected<int, UsageError> signIn(Arguments& arguments) {
    const auto email = arguments.takeOption("email");
    if (!email) {
        return std::unexpected(email.error());
    }
    if (!*email) {
        return std::unexpected(UsageError{"give the e-mail address with --email EMAIL"});
    }
    const auto typedPassword = password(arguments);
    if (!typedPassword) {
        return std::unexpected(typedPassword.error());
    }
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    const auto signedIn = AccountSteps::signInAndSetUp(**email, *typedPassword);
    if (!signedIn) {
        Console::printError(Console::printable(signedIn.error().description()));
        return ExitCode::failure;
    }
    Console::print("Signed in as " + Console::printable(signedIn->email) + ".");
    if (signedIn->setUpError) {
        Console::printError(Console::printable(*signedIn->setUpError));
    } else if (signedIn->registeredNow) {
        Console::print("This computer is set up for capture.");
    }
    const bool ready = signedIn->hasToken;
    askForConsentIfUndecided();
    if (ready && CaptureOutbox::pendingCount() > 0) {
        OutboxCommands::deliverWaiting(true);
    }
    return ready ? ExitCode::success : ExitCode::failure;
}

std::expected<int, UsageError> signOut(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    AccountSteps::signOut();
    Console::print("Signed out.");
    return ExitCode::success;
}

std::expected<int, UsageError> setToken(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    const auto token = trimmedNonEmpty(Console::readStandardInput());
    if (!token) {
        Console::printError("No token given: pass the device token on standard input.");
        return ExitCode::failure;
    }
    if (const auto saved = TokenStore::save(*token); !saved) {
        Console::printError("Couldn't save the token to the " +
                            std::string(PlatformWords::keychain) + ". " +
                            saved.error().description());
        return ExitCode::failure;
    }
    Console::print("Token saved.");
    return ExitCode::success;
}

std::expected<int, UsageError> tokenStatus(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    if (TokenStore::hasToken()) {
        Console::print("A device token is stored (" + TokenStore::identity().value_or("") + ").");
    } else {
        Console::print("No device token is stored. Sign in with `" + std::string(signInHint) +
                       "`, or store one with `tarvo-capture token set`.");
    }
    return ExitCode::success;
}

std::expected<int, UsageError> token(Arguments& arguments) {
    const auto action = arguments.takeWord();
    if (action == "set") {
        return setToken(arguments);
    }
    if (action == "status") {
        return tokenStatus(arguments);
    }
    return std::unexpected(UsageError{action ? "unknown action \"" + *action + "\" (set, status)"
                                             : "say set or status"});
}

std::expected<int, UsageError> consent(Arguments& arguments) {
    const auto action = arguments.takeWord();
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    if (action == "grant" || action == "decline") {
        AIConsent::record(action == "grant");
    } else if (action == "reset") {
        AIConsent::reset();
    } else if (action != "status") {
        return std::unexpected(
            UsageError{action ? "unknown action \"" + *action + "\" (status, grant, decline, reset)"
                              : "say status, grant, decline or reset"});
    }
    Console::print("AI on captures: " + consentState());
    return ExitCode::success;
}

// Only a plain file can be open to others; a keyring is the user's alone.
void warnIfCredentialsAreOpen() {
    const FileSecretStore file(FileSecretStore::defaultPath());
    if (file.isOpenToOthers()) {
        const std::string path = file.file().string();
        const std::string folder = file.file().parent_path().string();
        Console::print("Warning: other users of this computer can reach the credentials in " +
                       Console::printable(path) + " — run `chmod 700 '" +
                       Console::printable(folder) + "' && chmod 600 '" + Console::printable(path) +
                       "'`.");
    }
}

std::expected<int, UsageError> status(Arguments& arguments) {
    if (const auto done = arguments.expectNoMore(); !done) {
        return std::unexpected(done.error());
    }
    printBackend();
    Console::print("Signed in: " +
                   Console::printable(SupabaseAuth::shared().currentEmail().value_or("no")));
    Console::print(std::string("Device token: ") + (TokenStore::hasToken() ? "stored" : "none"));
    Console::print(std::string("Credentials: ") +
                   (SecretStore::usesPlainFile()
                        ? "stored in a plain file (TARVO_SECRET_STORE=file)"
                        : "keyring"));
    warnIfCredentialsAreOpen();
    Console::print("AI on captures: " + consentState());
    Console::print("Outbox: " + std::to_string(CaptureOutbox::pendingCount()) + " waiting");
    return ExitCode::success;
}

} // namespace

void printBackend() {
    const auto& environment = CaptureConfig::environment();
    Console::print(std::string("Environment: ") +
                   (environment.isStaging() ? "staging" : "production"));
    Console::print("API base: " + CaptureConfig::endpoints().apiBase());
    Console::print(std::string("API key: ") +
                   (environment.usesBuiltInAnonKey() ? "built in" : "from TARVO_API_KEY"));
}

void sayHowToSignInWithoutDeviceToken() {
    if (!TokenStore::hasToken()) {
        Console::printError("No device token on this computer: sign in with `" +
                            std::string(signInHint) +
                            "` to set it up; what waits is sent after that.");
    }
}

std::vector<Command> all() {
    return {
        {"signin", "--email EMAIL [--password-stdin]",
         "Sign in and set this computer up for capture.",
         "Signs in, sets this computer up for capture when it has no device token yet, and asks "
         "about AI when that is undecided. The password is prompted without echo, or read from "
         "standard input with --password-stdin.",
         signIn},
        {"signout", "", "Sign out and forget the device token and the AI answer.",
         "Signs out, forgets the device token and the AI answer.", signOut},
        {"token", "set | status", "Store a device token by hand, or say whether one is stored.",
         "set: stores the device token read from standard input.\nstatus: says whether a device "
         "token is stored (never prints it).",
         token},
        {"consent", "status | grant | decline | reset",
         "Show, grant, decline or forget the answer about AI on captures.",
         "Whether AI may run over captures: shows, grants, declines or forgets the answer.",
         consent},
        {"status", "", "Show the backend, the account, the device token and the outbox.",
         "Environment, API base, signed-in e-mail, device token, outbox count.", status},
    };
}

} // namespace tarvo::cli::AccountCommands
