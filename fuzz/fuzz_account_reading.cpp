// Reads arbitrary bytes as everything the account and shared state take from outside: token
// replies of any status, JWTs, stored sessions, the recents list, apps-enabled replies and
// machine-info text. None may crash; what reads must read the same after being written back.

#include <capturekit/account/gotrue_reply.hpp>
#include <capturekit/account/jwt_claims.hpp>
#include <capturekit/account/user_session.hpp>
#include <capturekit/delivery/apps_enabled.hpp>
#include <capturekit/delivery/recent_capture.hpp>
#include <capturekit/platform/host_name.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace capturekit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const int status = size > 0 ? 100 + data[0] % 500 : 200;
    const std::string_view body = size > 0 ? bytes.substr(1) : bytes;

    const auto reply = readTokenReply(HttpResponse{status, {}, std::string(body)}, Date{});
    if (reply && (status < 200 || status > 299)) {
        std::abort(); // only a 2xx reply makes a session
    }
    if (!reply && reply.error().description().empty()) {
        std::abort();
    }

    const JWTClaims claims(bytes);
    (void)claims;

    if (const auto session = UserSession::fromStoredForm(bytes)) {
        const auto again = UserSession::fromStoredForm(session->storedForm());
        if (!again || again->accessToken != session->accessToken ||
            again->refreshToken != session->refreshToken || again->userID != session->userID ||
            again->email != session->email) {
            std::abort();
        }
    }

    const auto recents = RecentCapture::decodeList(bytes);
    if (RecentCapture::decodeList(RecentCapture::encodeList(recents)).size() != recents.size()) {
        std::abort();
    }

    (void)AppsEnabled::disabledKeys(bytes);
    (void)host::prettyHostname(bytes);
    return 0;
}
