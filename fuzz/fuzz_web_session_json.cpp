// Reads arbitrary bytes as the web application's JSON session. A session that comes out must be
// storable and read back, and must survive the trip into cookies and out again with its tokens
// and user; a seed script can always be made for it.

#include <capturekit/account/user_session.hpp>
#include <capturekit/account/web_session_cookies.hpp>
#include <capturekit/platform/text.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string_view>

using namespace capturekit;

namespace {

const Date now = Date{std::chrono::seconds{1'772'357'400}};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto session = WebSessionCookies::fromJSON(input, "proj", now);
    if (!session) {
        return 0;
    }
    require(text::isValidUTF8(session->accessToken) && text::isValidUTF8(session->refreshToken) &&
            text::isValidUTF8(session->userID));
    require(UserSession::fromStoredForm(session->storedForm()).has_value());

    const auto pairs = WebSessionCookies::pairs(*session, "proj", now);
    require(!pairs.empty());
    const auto back = WebSessionCookies::from(std::map(pairs.begin(), pairs.end()), "proj");
    require(back && back->accessToken == session->accessToken &&
            back->refreshToken == session->refreshToken && back->userID == session->userID);
    require(WebSessionCookies::seedScript(*session, "https://tarvo.app", "proj", now).has_value());
    return 0;
}
