#pragma once

// The command line of tarvo-devbackend.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <span>
#include <string>

namespace devbackend {

struct Options {
    std::string listenAddress = "127.0.0.1";
    int port = 54321;
    std::filesystem::path database; // empty: the default location
    int accessTokenSeconds = 3600;
    std::size_t maxBodyBytes = 20 * 1024 * 1024;
    std::string anonymousKey; // empty: the build's anonymous key
    bool demo = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// The options, or a one-line message saying what is wrong.
std::expected<Options, std::string> parseOptions(std::span<const char* const> arguments);
std::string usage();
// $XDG_DATA_HOME/tarvo-devbackend/backend.sqlite3, with ~/.local/share when it is unset.
std::filesystem::path defaultDatabasePath();

} // namespace devbackend
