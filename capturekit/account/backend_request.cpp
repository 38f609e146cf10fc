#include <capturekit/account/backend_request.hpp>

#include <capturekit/account/capture_config.hpp>

namespace capturekit {

HttpRequest backendJSONPost(std::string url, std::string_view bearerToken, std::string body,
                            std::chrono::milliseconds timeout) {
    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.body = std::move(body);
    request.timeout = timeout;
    request.headers = {{"Content-Type", "application/json"},
                       {"Authorization", "Bearer " + std::string(bearerToken)},
                       {"apikey", CaptureConfig::supabaseAnonKey().value_or("")}};
    return request;
}

} // namespace capturekit
