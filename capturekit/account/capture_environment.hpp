#pragma once

// The backend environment a process talks to: production or staging. Every backend URL, shared
// preference and credential belongs to exactly one of them. The build chooses it (TARVO_ENVIRONMENT
// and the application id); a process picks it once, at the first use of any configuration value.

#include <capturekit/model/raw_value.hpp>

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

// A fault of the build (or of TARVO_API_BASE / TARVO_API_KEY), never of anything a person typed
// into the app.
struct ConfigurationError {
    enum class Kind {
        unrecognisedEnvironment, // the environment setting names neither environment
        identifierMismatch,      // the application id belongs to the other environment
        invalidAPIBase,          // TARVO_API_BASE is not a scheme, host and optional port
        invalidAPIKey,           // TARVO_API_KEY is not an API key
        apiKeyWithoutBase,       // TARVO_API_KEY is set but TARVO_API_BASE is not
    };
    Kind kind = Kind::unrecognisedEnvironment;
    std::string value;  // the offending setting or identifier
    std::string chosen; // for identifierMismatch: the environment the setting selected

    std::string description() const;
    bool operator==(const ConfigurationError&) const = default;
};

struct CaptureEnvironment {
    enum class Kind { production, staging };

    Kind kind = Kind::production;
    std::string supabaseProjectID;
    std::string supabaseAnonKey;
    std::string webSuiteOrigin;
    std::string appGroupID;
    std::string keychainAccessGroup;
    std::string keychainServiceSuffix;

    bool operator==(const CaptureEnvironment&) const = default;

    // The name of the build setting that selects the environment.
    static constexpr std::string_view infoKey = "TarvoEnvironment";

    static const CaptureEnvironment& production();
    static const CaptureEnvironment& staging();

    // The environment of this process, chosen on first use from the build's setting and
    // application id; a bad build configuration stops the process with a message on stderr.
    // Thread-safe; the value never changes afterwards.
    static const CaptureEnvironment& current();

    // The choice itself. `setting` is the build setting (absent counts as empty): spaces and tabs
    // around it are ignored and letter case does not matter; empty or "production" selects
    // production, "staging" staging. Unless `underTestRunner`, an application id that ends in
    // ".dev" or contains ".dev." requires staging and any other id production; an absent id is not
    // checked.
    static std::expected<CaptureEnvironment, ConfigurationError>
    choose(std::optional<std::string_view> setting, std::optional<std::string_view> applicationID,
           bool underTestRunner);

    // Whether an application id marks a development build.
    static bool isDevelopmentIdentifier(std::string_view applicationID);

    // Reads a TARVO_API_BASE value: "http" or "https", "://", a host and an optional port, with
    // nothing after but an optional "/". Gives the base without a trailing slash; absent for an
    // empty value.
    static std::expected<std::optional<std::string>, ConfigurationError>
    parseAPIBase(std::string_view value);

    // Another backend than the environment's own project, chosen at run time: TARVO_API_BASE,
    // and with it, optionally, TARVO_API_KEY for that backend's anonymous key. A key without a
    // base is a fault (it would be sent to the built-in project).
    struct BackendOverride {
        std::string base;
        std::optional<std::string> anonKey;
        bool operator==(const BackendOverride&) const = default;
    };
    static std::expected<std::optional<BackendOverride>, ConfigurationError>
    parseBackendOverride(std::string_view base, std::string_view key);
    // An anonymous key: a JWT (three base64url parts) or a publishable key ("sb_publishable_…").
    static bool isWellFormedAnonKey(std::string_view key);

    bool isStaging() const { return kind == Kind::staging; }
    std::string_view displayName() const;
    // "https://" + project reference + "." + the API host domain: the project's own API base.
    std::string projectAPIBase() const;
    // The API base every backend URL starts with: TARVO_API_BASE when set (read once per
    // process), else projectAPIBase(). No trailing slash.
    std::string supabaseBase() const;
    // Whether supabaseAnonKey is the one built in for this environment (not TARVO_API_KEY's).
    bool usesBuiltInAnonKey() const;
};

template <> struct RawValues<CaptureEnvironment::Kind> {
    static constexpr std::array<std::string_view, 2> names{"production", "staging"};
};

// Stops the process for a bad configuration, saying why on stderr, with the exit status 78
// (EX_CONFIG): a fault of the set-up, not a crash.
[[noreturn]] void stopForConfigurationError(const ConfigurationError& error);

} // namespace capturekit
