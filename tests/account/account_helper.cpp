// The second process of the account tests: another program of the suite sharing the stored
// session.
//   account_helper valid-token SECRETS_FILE LOCK_FILE API_BASE ANON_KEY
// prints the access token SupabaseAuth hands out, or "none".

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/platform/file_secret_store.hpp>

#include <cstdio>
#include <string>

using namespace capturekit;

int main(int argc, char** argv) {
    if (argc != 6 || std::string(argv[1]) != "valid-token") {
        std::fputs("usage: account_helper valid-token SECRETS LOCK API_BASE ANON_KEY\n", stderr);
        return 2;
    }
    FileSecretStore secrets(argv[2]);
    CaptureEndpoints endpoints{CaptureConfig::environment(), argv[4]};
    endpoints.environment.supabaseAnonKey = argv[5];
    SupabaseAuth auth({nullptr, nullptr, &secrets, endpoints, std::filesystem::path(argv[3])});
    const auto token = auth.validAccessToken();
    std::printf("%s\n", token ? token->c_str() : "none");
    return 0;
}
