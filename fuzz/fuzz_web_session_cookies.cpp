// Reads arbitrary bytes as a web view's cookies, one "name=value" per line, where a name of one
// digit or "-" stands for the numbered pieces and the whole session cookie. Rebuilding never
// crashes, and percent-encoding any text decodes back to it.

#include <capturekit/account/web_session_cookies.hpp>
#include <capturekit/platform/text.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

using namespace capturekit;

namespace {

std::string cookieName(std::string_view name) {
    const std::string key = WebSessionCookies::storageKey("proj");
    if (name == "-") {
        return key;
    }
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') {
        return key + "." + std::string(name);
    }
    return std::string(name);
}

std::map<std::string, std::string> cookies(std::string_view input) {
    std::map<std::string, std::string> byName;
    while (!input.empty()) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            byName[cookieName(line.substr(0, equals))] = std::string(line.substr(equals + 1));
        }
    }
    return byName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)WebSessionCookies::from(cookies(input), "proj");

    const auto decoded = WebSessionCookies::percentDecoded(input);
    if (decoded && !text::isValidUTF8(*decoded)) {
        std::abort();
    }
    if (text::isValidUTF8(input) &&
        WebSessionCookies::percentDecoded(WebSessionCookies::percentEncoded(input)) != input) {
        std::abort();
    }
    return 0;
}
