#include "options.hpp"

#include <capturekit/platform/text.hpp>

#include <cstdlib>
#include <optional>
#include <string_view>

namespace devbackend {

namespace {

std::optional<long long> numberIn(std::string_view text, long long low, long long high) {
    const auto value = capturekit::text::parseInteger(text);
    if (!value || *value < low || *value > high) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string usage() {
    return "usage: tarvo-devbackend [options]\n"
           "\n"
           "A local stand-in for the tarvo backend: sign-in, device registration, capture\n"
           "ingest, suggestions, app settings, media storage and transcription, kept in SQLite.\n"
           "\n"
           "  --port N            port to listen on (default 54321; 0 picks a free one)\n"
           "  --listen ADDRESS    address to listen on (default 127.0.0.1, loopback only)\n"
           "  --db PATH           database file (default "
           "$XDG_DATA_HOME/tarvo-devbackend/backend.sqlite3)\n"
           "  --access-ttl SECONDS  lifetime of access tokens (default 3600)\n"
           "  --max-body BYTES    largest request body accepted (default 20971520)\n"
           "  --anon-key KEY      the \"apikey\" callers must send (default: the build's\n"
           "                      anonymous key); clients use TARVO_API_BASE and TARVO_API_KEY\n"
           "  --demo              create the demo user when missing and print its credentials\n"
           "  --verbose           print one line per request to standard error\n"
           "  --help              show this help\n"
           "  --version           show the version\n"
           "\n"
           "It prints \"listening on http://ADDRESS:PORT\" once it answers requests, and stops\n"
           "cleanly on SIGINT or SIGTERM.\n";
}

std::filesystem::path defaultDatabasePath() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (dataHome != nullptr && std::filesystem::path(dataHome).is_absolute()) {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : ".") / ".local" / "share";
    }
    return base / "tarvo-devbackend" / "backend.sqlite3";
}

std::expected<Options, std::string> parseOptions(std::span<const char* const> arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--version") {
            options.version = true;
            continue;
        }
        if (name == "--demo") {
            options.demo = true;
            continue;
        }
        if (name == "--verbose") {
            options.verbose = true;
            continue;
        }
        const bool takesValue = name == "--port" || name == "--listen" || name == "--db" ||
                                name == "--access-ttl" || name == "--max-body" ||
                                name == "--anon-key";
        if (!takesValue) {
            return std::unexpected("unknown option " + std::string(name) +
                                   " (see tarvo-devbackend --help)");
        }
        if (i + 1 == arguments.size()) {
            return std::unexpected(std::string(name) + " needs a value");
        }
        const std::string_view value = arguments[++i];
        if (name == "--port") {
            const auto port = numberIn(value, 0, 65535);
            if (!port) {
                return std::unexpected("--port must be a number from 0 to 65535");
            }
            options.port = static_cast<int>(*port);
        } else if (name == "--listen") {
            if (value.empty()) {
                return std::unexpected("--listen needs an address");
            }
            options.listenAddress = value;
        } else if (name == "--db") {
            if (value.empty()) {
                return std::unexpected("--db needs a path");
            }
            options.database = value;
        } else if (name == "--anon-key") {
            if (value.empty()) {
                return std::unexpected("--anon-key needs a key");
            }
            options.anonymousKey = value;
        } else if (name == "--access-ttl") {
            const auto seconds = numberIn(value, 1, 10LL * 365 * 24 * 3600);
            if (!seconds) {
                return std::unexpected("--access-ttl must be a positive number of seconds");
            }
            options.accessTokenSeconds = static_cast<int>(*seconds);
        } else {
            const auto bytes = numberIn(value, 1, 1LL << 30);
            if (!bytes) {
                return std::unexpected("--max-body must be a number of bytes from 1 to 1073741824");
            }
            options.maxBodyBytes = static_cast<std::size_t>(*bytes);
        }
    }
    return options;
}

} // namespace devbackend
