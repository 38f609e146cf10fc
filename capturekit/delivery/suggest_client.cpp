#include <capturekit/delivery/suggest_client.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/backend_request.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/text.hpp>

namespace capturekit {

SuggestClient::SuggestRequest SuggestClient::SuggestRequest::from(const CaptureItem& item) {
    SuggestRequest request;
    request.content = text::trimmedNonEmpty(item.text);
    request.url = text::trimmedOptional(item.url);
    request.screenshot = item.screenshotDataURI;
    if (!item.tags.empty()) {
        request.tags = item.tags;
    }
    return request;
}

std::string SuggestClient::SuggestRequest::encoded() const {
    OrderedJson body = OrderedJson::object();
    const auto put = [&body](const char* key, const auto& value) {
        if (value) {
            body[key] = *value;
        }
    };
    put("content", content);
    put("url", url);
    put("screenshot", screenshot);
    put("tags", tags);
    return json::dump(body);
}

SuggestClient::SuggestClient(const AuthProvider& auth, HttpTransport& session)
    : auth_(&auth), session_(&session) {}

std::optional<Suggestion> SuggestClient::suggest(const CaptureItem& item,
                                                 std::stop_token stop) const {
    if (!AIConsent::mayRequestSuggestions()) {
        return std::nullopt;
    }
    const auto token = text::trimmedOptional(auth_->bearerToken(stop));
    if (!token) {
        return std::nullopt;
    }
    const auto reply = session_->perform(backendJSONPost(CaptureConfig::suggestURL(), *token,
                                                         SuggestRequest::from(item).encoded(),
                                                         CaptureConfig::suggestTimeout),
                                         stop);
    if (!reply || reply->statusCode < 200 || reply->statusCode > 299) {
        return std::nullopt;
    }
    return Suggestion::decode(reply->body);
}

} // namespace capturekit
