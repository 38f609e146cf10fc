#pragma once

// The JSON POST that the backend's functions take: "Content-Type", "Authorization" with the
// bearer token and "apikey" with the environment's anonymous key, in that order.

#include <capturekit/platform/http_session.hpp>

#include <chrono>
#include <string>
#include <string_view>

namespace capturekit {

HttpRequest backendJSONPost(std::string url, std::string_view bearerToken, std::string body,
                            std::chrono::milliseconds timeout);

} // namespace capturekit
