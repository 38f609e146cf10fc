#include <capturekit/account/capture_environment.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/text.hpp>

#include <tarvo/build_configuration.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ranges>

namespace capturekit {

namespace {

// The value with control characters spelled out, so that a stray line break shows in a message.
std::string visible(std::string_view value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

bool isHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

bool isIPv6Character(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
           c == '.';
}

bool isValidPort(std::string_view port) {
    if (port.empty() || port.size() > 5) {
        return false;
    }
    unsigned value = 0;
    for (const char c : port) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 65535;
}

// "host", "host:port", "[v6]" or "[v6]:port".
bool isValidHostAndPort(std::string_view authority) {
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1 ||
            !std::ranges::all_of(authority.substr(1, close - 1), isIPv6Character)) {
            return false;
        }
        const std::string_view rest = authority.substr(close + 1);
        if (rest.empty()) {
            return true;
        }
        if (!rest.starts_with(':')) {
            return false;
        }
        port = rest.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        const std::string_view host = authority.substr(0, colon);
        if (host.empty() || !std::ranges::all_of(host, isHostCharacter)) {
            return false;
        }
        if (colon == std::string_view::npos) {
            return true;
        }
        port = authority.substr(colon + 1);
    }
    return isValidPort(port);
}

bool isBase64URL(std::string_view part) {
    return !part.empty() && std::ranges::all_of(part, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

std::string environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// TARVO_API_BASE and TARVO_API_KEY, read once per process; a bad value stops the process.
const std::optional<CaptureEnvironment::BackendOverride>& backendOverride() {
    static const std::optional<CaptureEnvironment::BackendOverride> value = [] {
        auto parsed = CaptureEnvironment::parseBackendOverride(
            environmentVariable("TARVO_API_BASE"), environmentVariable("TARVO_API_KEY"));
        if (!parsed) {
            stopForConfigurationError(parsed.error());
        }
        return *parsed;
    }();
    return value;
}

const CaptureEnvironment& builtIn(CaptureEnvironment::Kind kind) {
    return kind == CaptureEnvironment::Kind::staging ? CaptureEnvironment::staging()
                                                     : CaptureEnvironment::production();
}

} // namespace

std::string ConfigurationError::description() const {
    switch (kind) {
    case Kind::unrecognisedEnvironment:
        return "The build's environment setting (TARVO_ENVIRONMENT) is “" + visible(value) +
               "”; it must be empty, “production” or “staging”.";
    case Kind::identifierMismatch:
        return "The application id " + visible(value) + " belongs to a " +
               (CaptureEnvironment::isDevelopmentIdentifier(value) ? "staging" : "production") +
               " build, but the build's environment setting (TARVO_ENVIRONMENT) selects " + chosen +
               ".";
    case Kind::invalidAPIBase:
        return "TARVO_API_BASE is “" + visible(value) +
               "”; it must be a scheme, a host and an optional port, such as "
               "http://127.0.0.1:54321.";
    case Kind::invalidAPIKey:
        return "TARVO_API_KEY is not an anonymous API key; it must be the backend's anon JWT "
               "(three base64url parts joined by dots) or its publishable key.";
    case Kind::apiKeyWithoutBase:
        return "TARVO_API_KEY is set without TARVO_API_BASE; set both to use another backend, or "
               "neither.";
    }
    return "The build configuration is invalid.";
}

const CaptureEnvironment& CaptureEnvironment::production() {
    static const CaptureEnvironment value{
        Kind::production,
        tarvo::build::productionProjectID,
        tarvo::build::productionAnonKey,
        tarvo::build::productionWebOrigin,
        "group.com.merrow.loft",
        "com.merrow.loft.shared",
        "",
    };
    return value;
}

const CaptureEnvironment& CaptureEnvironment::staging() {
    static const CaptureEnvironment value{
        Kind::staging,
        tarvo::build::stagingProjectID,
        tarvo::build::stagingAnonKey,
        tarvo::build::stagingWebOrigin,
        "group.com.merrow.loft.dev",
        "com.merrow.loft.shared.dev",
        ".dev",
    };
    return value;
}

const CaptureEnvironment& CaptureEnvironment::current() {
    static const CaptureEnvironment chosen = [] {
        auto result = choose(application::buildSetting(infoKey), application::identifier(),
                             application::isRunningUnderTestRunner());
        if (!result) {
            stopForConfigurationError(result.error());
        }
        // TARVO_API_BASE and TARVO_API_KEY are part of the configuration too: a bad value stops
        // the process now rather than at the first request.
        if (const auto& other = backendOverride(); other && other->anonKey) {
            result->supabaseAnonKey = *other->anonKey;
        }
        return *result;
    }();
    return chosen;
}

std::expected<CaptureEnvironment, ConfigurationError>
CaptureEnvironment::choose(std::optional<std::string_view> setting,
                           std::optional<std::string_view> applicationID, bool underTestRunner) {
    const std::string_view raw = setting.value_or("");
    const std::string normalised = text::lowercased(text::trimmedSpacesAndTabs(raw));
    const auto kind =
        normalised.empty() ? std::optional(Kind::production) : fromRawValue<Kind>(normalised);
    if (!kind) {
        return std::unexpected(ConfigurationError{
            ConfigurationError::Kind::unrecognisedEnvironment, std::string(raw), {}});
    }
    const CaptureEnvironment& chosen = *kind == Kind::staging ? staging() : production();
    if (!underTestRunner && applicationID && !applicationID->empty() &&
        isDevelopmentIdentifier(*applicationID) != chosen.isStaging()) {
        return std::unexpected(ConfigurationError{ConfigurationError::Kind::identifierMismatch,
                                                  std::string(*applicationID),
                                                  std::string(chosen.displayName())});
    }
    return chosen;
}

bool CaptureEnvironment::isDevelopmentIdentifier(std::string_view applicationID) {
    return applicationID.ends_with(".dev") || applicationID.find(".dev.") != std::string_view::npos;
}

std::expected<std::optional<std::string>, ConfigurationError>
CaptureEnvironment::parseAPIBase(std::string_view value) {
    const std::string trimmed = text::trimmed(value);
    if (trimmed.empty()) {
        return std::optional<std::string>();
    }
    const auto invalid = [&] {
        return std::unexpected(
            ConfigurationError{ConfigurationError::Kind::invalidAPIBase, std::string(value), {}});
    };
    const std::size_t separator = trimmed.find("://");
    if (separator == std::string::npos) {
        return invalid();
    }
    const std::string scheme = text::lowercased(trimmed.substr(0, separator));
    if (scheme != "http" && scheme != "https") {
        return invalid();
    }
    std::string_view authority = std::string_view(trimmed).substr(separator + 3);
    if (authority.ends_with('/')) {
        authority.remove_suffix(1);
    }
    if (!isValidHostAndPort(authority)) {
        return invalid();
    }
    return std::optional<std::string>(scheme + "://" + std::string(authority));
}

std::string_view CaptureEnvironment::displayName() const {
    return rawValue(kind);
}

std::string CaptureEnvironment::projectAPIBase() const {
    return "https://" + supabaseProjectID + "." + tarvo::build::supabaseAPIDomain;
}

std::string CaptureEnvironment::supabaseBase() const {
    const auto& other = backendOverride();
    return other ? other->base : projectAPIBase();
}

bool CaptureEnvironment::usesBuiltInAnonKey() const {
    return supabaseAnonKey == builtIn(kind).supabaseAnonKey;
}

std::expected<std::optional<CaptureEnvironment::BackendOverride>, ConfigurationError>
CaptureEnvironment::parseBackendOverride(std::string_view base, std::string_view key) {
    const auto parsedBase = parseAPIBase(base);
    if (!parsedBase) {
        return std::unexpected(parsedBase.error());
    }
    const std::string trimmedKey = text::trimmed(key);
    if (!trimmedKey.empty() && !isWellFormedAnonKey(trimmedKey)) {
        return std::unexpected(ConfigurationError{ConfigurationError::Kind::invalidAPIKey, {}, {}});
    }
    if (!*parsedBase) {
        if (!trimmedKey.empty()) {
            return std::unexpected(
                ConfigurationError{ConfigurationError::Kind::apiKeyWithoutBase, {}, {}});
        }
        return std::optional<BackendOverride>();
    }
    return std::optional(BackendOverride{
        **parsedBase, trimmedKey.empty() ? std::nullopt : std::optional(trimmedKey)});
}

bool CaptureEnvironment::isWellFormedAnonKey(std::string_view key) {
    constexpr std::string_view publishable = "sb_publishable_";
    if (key.starts_with(publishable)) {
        return isBase64URL(key.substr(publishable.size()));
    }
    std::size_t parts = 0;
    for (const auto part : std::views::split(key, '.')) {
        if (!isBase64URL(std::string_view(part.begin(), part.end()))) {
            return false;
        }
        ++parts;
    }
    return parts == 3;
}

void stopForConfigurationError(const ConfigurationError& error) {
    const std::string message = "tarvo Capture cannot start: " + error.description() + "\n";
    std::fputs(message.c_str(), stderr);
    std::fflush(nullptr);
    constexpr int configurationFault = 78; // EX_CONFIG
    // _Exit: other threads may still run, and nothing at exit should touch them.
    std::_Exit(configurationFault);
}

} // namespace capturekit
