#pragma once

// Asks the backend's suggest function what a capture is, before it is routed. Optional by
// nature: every failure means "no suggestion". One request, short timeout, no retries, and only
// when the person allows AI suggestions.

#include <capturekit/account/auth_provider.hpp>
#include <capturekit/model/capture_item.hpp>
#include <capturekit/model/suggestion.hpp>
#include <capturekit/platform/http_session.hpp>

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace capturekit {

class SuggestClient {
public:
    // The request body; absent fields are left out.
    struct SuggestRequest {
        std::optional<std::string> content; // the item's text, trimmed; absent when empty
        std::optional<std::string> url;     // trimmed; absent when empty
        std::optional<std::string> screenshot;
        std::optional<std::vector<std::string>> tags; // absent when the item has none

        static SuggestRequest from(const CaptureItem& item);
        std::string encoded() const;
    };

    explicit SuggestClient(const AuthProvider& auth,
                           HttpTransport& session = HttpSession::shared());

    std::optional<Suggestion> suggest(const CaptureItem& item, std::stop_token stop = {}) const;

private:
    const AuthProvider* auth_;
    HttpTransport* session_;
};

} // namespace capturekit
