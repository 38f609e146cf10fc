// The second process of the store and account tests:
//   store_helper append BASE DOMAIN KEY PREFIX COUNT
//       appends PREFIX0 … PREFIX<COUNT-1> to the string list KEY, one update each; exit 0 when
//       every update was written
//   store_helper secret-read LIMIT_MS
//       reads an item from the Secret Service with that time limit and prints "present",
//       "absent" or the error's description
//   store_helper valid-token SECRETS_FILE LOCK_FILE API_BASE ANON_KEY
//       prints the access token another program of the suite, sharing the stored session, hands
//       out, or "none"

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/preferences.hpp>
#include <capturekit/platform/secret_service_store.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace capturekit;

namespace {

int append(const char* base, const char* domain, const char* key, const std::string& prefix,
           int count) {
    const Preferences preferences(domain, base);
    for (int i = 0; i < count; ++i) {
        const bool written = preferences.update(key, [&](std::optional<PreferenceValue> stored) {
            auto list = stored ? std::get_if<std::vector<std::string>>(&*stored) : nullptr;
            std::vector<std::string> updated = list ? *list : std::vector<std::string>{};
            updated.push_back(prefix + std::to_string(i));
            return std::optional<PreferenceValue>(std::move(updated));
        });
        if (!written) {
            std::fprintf(stderr, "update %d was not written\n", i);
            return 1;
        }
    }
    return 0;
}

int secretRead(long limitMilliseconds) {
    SecretServiceStore store{std::chrono::milliseconds(limitMilliseconds)};
    const auto result = store.read("tarvo.test.helper", "probe");
    const std::string outcome =
        !result ? result.error().description() : (*result ? "present" : "absent");
    std::printf("%s\n", outcome.c_str());
    std::fflush(stdout);
    // The cancelled call may still be running on its thread; leave without waiting for it.
    std::_Exit(0);
}

int validToken(char** argv) {
    FileSecretStore secrets(argv[2]);
    CaptureEndpoints endpoints{CaptureConfig::environment(), argv[4]};
    endpoints.environment.supabaseAnonKey = argv[5];
    SupabaseAuth auth({nullptr, nullptr, &secrets, endpoints, std::filesystem::path(argv[3])});
    const auto token = auth.validAccessToken();
    std::printf("%s\n", token ? token->c_str() : "none");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "append" && argc == 7) {
        return append(argv[2], argv[3], argv[4], argv[5], std::atoi(argv[6]));
    }
    if (command == "secret-read" && argc == 3) {
        return secretRead(std::atol(argv[2]));
    }
    if (command == "valid-token" && argc == 6) {
        return validToken(argv);
    }
    std::fprintf(stderr, "usage: store_helper append BASE DOMAIN KEY PREFIX COUNT\n"
                         "       store_helper secret-read LIMIT_MS\n"
                         "       store_helper valid-token SECRETS LOCK API_BASE ANON_KEY\n");
    return 2;
}
