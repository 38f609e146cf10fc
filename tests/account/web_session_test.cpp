#include "support/account_sandbox.hpp"

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/in_memory_web_view.hpp>
#include <capturekit/account/session_store.hpp>
#include <capturekit/account/shell_navigation_policy.hpp>
#include <capturekit/account/web_session_bridge.hpp>
#include <capturekit/account/web_session_cookies.hpp>
#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/url.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

using namespace capturekit;
using std::chrono::seconds;
using tarvo::test::AccountSandbox;

namespace {

// 2026-03-01T09:30:00Z
const Date now = Date{seconds{1'772'357'400}};

std::string token(std::string_view payload) {
    return "eyJhbGciOiJIUzI1NiJ9." + base64::encodeURLUnpadded(payload) + ".sig";
}

UserSession session(std::string refreshToken = "r-1") {
    return UserSession{.accessToken = token(R"({"sub":"jwt-user","email":"jwt@x.io"})"),
                       .refreshToken = std::move(refreshToken),
                       .expiresAt = now + std::chrono::milliseconds{3'600'900},
                       .userID = "stored-user",
                       .email = "me@x.io"};
}

} // namespace

TEST(WebSessionCookiesTest, SessionObjectIsSortedAndTheSeedScriptWritesItOnTheSuitesHostOnly) {
    const auto text = WebSessionCookies::sessionObject(session(), now);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, R"({"access_token":")" + session().accessToken +
                         R"(","expires_at":1772361000,"expires_in":3600,"refresh_token":"r-1",)"
                         R"("token_type":"bearer","user":{"aud":"authenticated",)"
                         R"("email":"me@x.io","id":"jwt-user","role":"authenticated"}})");

    UserSession plain{"opaque", "r-1", now - seconds{90}, "stored-user", std::nullopt};
    const auto expired = json::parse(*WebSessionCookies::sessionObject(plain, now));
    EXPECT_EQ((*expired)["expires_in"], 0);
    EXPECT_EQ((*expired)["user"]["id"], "stored-user");
    EXPECT_EQ((*expired)["user"]["email"], "");

    plain.accessToken = session().accessToken;
    const auto fromClaims = json::parse(*WebSessionCookies::sessionObject(plain, now));
    EXPECT_EQ((*fromClaims)["user"]["email"], "jwt@x.io");

    EXPECT_EQ(WebSessionCookies::seedScript(session(), "https://tarvo.app", "proj", now),
              "(function () {\n  try {\n    if (location.host !== \"tarvo.app\") return;\n"
              "    if (localStorage.getItem(\"sb-proj-auth-token\") === null) "
              "localStorage.setItem(\"sb-proj-auth-token\", " +
                  Json(*text).dump() + ");\n  } catch (e) {}\n})();");
    EXPECT_NE(WebSessionCookies::seedScript(session(), "http://localhost:3000", "p", now)
                  ->find("location.host !== \"localhost:3000\""),
              std::string::npos);
    for (const char* notAWebOrigin : {"not a url", "mailto:x@tarvo.app"}) {
        EXPECT_EQ(WebSessionCookies::seedScript(session(), notAWebOrigin, "proj", now),
                  std::nullopt);
    }
}

TEST(WebSessionCookiesTest, CookiesArePercentEncodedAndCutAfter3600Characters) {
    const std::size_t base = WebSessionCookies::pairs(session(""), "proj", now)[0].second.size();
    const auto fits = WebSessionCookies::pairs(session(std::string(3600 - base, 'a')), "proj", now);
    ASSERT_EQ(fits.size(), 1U);
    EXPECT_EQ(fits[0].first, "sb-proj-auth-token");
    EXPECT_EQ(fits[0].second.size(), 3600U);

    const auto cut = WebSessionCookies::pairs(session(std::string(3601 - base, 'a')), "proj", now);
    ASSERT_EQ(cut.size(), 2U);
    EXPECT_EQ(cut[0].first, "sb-proj-auth-token.0");
    EXPECT_EQ(cut[0].second.size(), 3600U);
    EXPECT_EQ(cut[1].first, "sb-proj-auth-token.1");
    EXPECT_EQ(cut[1].second.size(), 1U);
    EXPECT_EQ(WebSessionCookies::from({cut.begin(), cut.end()}, "proj")->refreshToken,
              std::string(3601 - base, 'a'));

    EXPECT_EQ(WebSessionCookies::percentEncoded("aZ09-_.!~*'() \"%/+;,=é"),
              "aZ09-_.!~*'()%20%22%25%2F%2B%3B%2C%3D%C3%A9");
    EXPECT_EQ(WebSessionCookies::percentDecoded("%C3%a9%2F+"), "é/+");
    for (const std::string_view bad : {"%", "%4", "%zz", "%FF", "abc%C3"}) {
        EXPECT_EQ(WebSessionCookies::percentDecoded(bad), std::nullopt) << bad;
    }
    const auto pairs = WebSessionCookies::pairs(session("r é; x"), "proj", now);
    EXPECT_EQ(pairs[0].second.find_first_of(" ;,\"é"), std::string::npos);
}

TEST(WebSessionCookiesTest, ReadingJoinsCookiePiecesUpToAGapAndTakesTheTokensClaimsFirst) {
    const std::string text =
        WebSessionCookies::percentEncoded(*WebSessionCookies::sessionObject(session(), now));
    const std::size_t half = text.size() / 2;
    const std::map<std::string, std::string> pieces{{"sb-proj-auth-token.1", text.substr(half)},
                                                    {"sb-proj-auth-token.0", text.substr(0, half)},
                                                    {"sb-proj-auth-token.3", "%7Bbroken"}};
    const auto rebuilt = WebSessionCookies::from(pieces, "proj");
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->refreshToken, "r-1");
    EXPECT_EQ(rebuilt->userID, "jwt-user");

    // The whole cookie wins over pieces; no ".0" means no session.
    auto both = pieces;
    both["sb-proj-auth-token"] = "%7B";
    EXPECT_EQ(WebSessionCookies::from(both, "proj"), std::nullopt);
    EXPECT_EQ(WebSessionCookies::from({{"sb-proj-auth-token.1", text}}, "proj"), std::nullopt);
    EXPECT_EQ(WebSessionCookies::from({{"sb-other-auth-token", text}}, "proj"), std::nullopt);
    EXPECT_EQ(WebSessionCookies::from({{"sb-proj-auth-token", "%ZZ"}}, "proj"), std::nullopt);

    const auto fromJSON = [](const std::string& text) {
        return WebSessionCookies::fromJSON(text, "proj", now);
    };
    const std::string withClaims = token(R"({"sub":"u-jwt","email":"j@x.io","exp":1772361000})");
    EXPECT_EQ(fromJSON(R"({"access_token":")" + withClaims +
                       R"(","refresh_token":"r","expires_at":5,)"
                       R"("user":{"id":"u-obj","email":"o@x.io"}})"),
              (UserSession{withClaims, "r", Date{seconds{1'772'361'000}}, "u-jwt", "j@x.io"}));
    EXPECT_EQ(fromJSON(R"({"access_token":"opaque","refresh_token":"r","expires_at":1772361000.5,)"
                       R"("user":{"id":"u-obj","email":"o@x.io"}})"),
              (UserSession{"opaque", "r", Date{std::chrono::milliseconds{1'772'361'000'500}},
                           "u-obj", "o@x.io"}));
    EXPECT_EQ(fromJSON(R"({"access_token":"opaque","refresh_token":"r","expires_at":"soon",)"
                       R"("user":{"id":"u"}})"),
              (UserSession{"opaque", "r", now, "u", std::nullopt}));

    for (const std::string incomplete : {
             R"({"access_token":"opaque","refresh_token":"r"})",
             R"({"access_token":"opaque","refresh_token":"r","user":{"id":7}})",
             R"({"access_token":"opaque","user":{"id":"u"}})",
             R"({"access_token":1,"refresh_token":"r","user":{"id":"u"}})",
             R"(["access_token"])",
             "",
         }) {
        EXPECT_EQ(fromJSON(incomplete), std::nullopt) << incomplete;
    }
}

TEST(ShellNavigationPolicyTest, SuiteLinksStayOthersOpenInASheetOrTheSystemAndOnlyItGetsMedia) {
    using enum ShellNavigationPolicy::Decision;
    const auto decide = [](std::optional<std::string_view> url, bool mainFrame, bool link) {
        return ShellNavigationPolicy::decide(url, mainFrame, link, "tarvo.app");
    };
    EXPECT_EQ(decide("https://news.example/a", true, true), openInSafariSheet);
    EXPECT_EQ(decide("https://news.example/a", false, true), allow);
    EXPECT_EQ(decide("https://news.example/a", true, false), allow);
    EXPECT_EQ(decide("https://dev.TARVO.app/x", true, true), allow);
    EXPECT_EQ(decide("https://eviltarvo.app/", true, true), openInSafariSheet);
    EXPECT_EQ(decide("https://tarvo.app.evil.io/", true, true), openInSafariSheet);
    EXPECT_EQ(decide("mailto:me@tarvo.app", true, true), openInSystem);
    EXPECT_EQ(decide("tel:+4412345", false, false), openInSystem);
    EXPECT_EQ(decide("about:blank", true, true), allow);
    EXPECT_EQ(decide("JavaScript:void(0)", true, true), allow);
    EXPECT_EQ(decide("/relative/path", true, true), allow);
    EXPECT_EQ(decide(std::nullopt, true, true), allow);

    // New windows load in the shell only for the suite.
    using Window = ShellNavigationPolicy::NewWindowDecision;
    const auto window = [](std::optional<std::string_view> url) {
        return ShellNavigationPolicy::decideNewWindow(url, "tarvo.app");
    };
    EXPECT_EQ(window("https://app.tarvo.app/x"), Window::loadHere);
    EXPECT_EQ(window("http://other.io"), Window::openInSafariSheet);
    EXPECT_EQ(window("data:text/plain,hi"), Window::ignore);
    EXPECT_EQ(window(std::nullopt), Window::ignore);
    EXPECT_EQ(window("sms:123"), Window::openInSystem);

    // Media capture is granted to the suite and its subdomains only.
    using enum ShellNavigationPolicy::MediaCaptureDecision;
    EXPECT_EQ(ShellNavigationPolicy::decideMediaCapture("tarvo.app", "tarvo.app"), grant);
    EXPECT_EQ(ShellNavigationPolicy::decideMediaCapture("Voice.Tarvo.App", "tarvo.app"), grant);
    EXPECT_EQ(ShellNavigationPolicy::decideMediaCapture("eviltarvo.app", "tarvo.app"), prompt);
    EXPECT_EQ(ShellNavigationPolicy::decideMediaCapture("", "tarvo.app"), prompt);
    EXPECT_EQ(ShellNavigationPolicy::decideMediaCapture(std::nullopt, "tarvo.app"), prompt);
    EXPECT_EQ(ShellNavigationPolicy::decideMediaCapture("x.", ""), prompt);
}

namespace {

class WebSessionBridgeTest : public ::testing::Test {
protected:
    WebSessionBridgeTest() { view.load(CaptureConfig::webSuiteOrigin() + "/home"); }

    std::vector<std::string> cookieNames() const {
        std::vector<std::string> names;
        for (const auto& cookie : data.allCookies()) {
            names.push_back(cookie.name);
        }
        return names;
    }

    AccountSandbox sandbox;
    const std::string key = WebSessionCookies::storageKey(CaptureConfig::supabaseProjectID());
    const std::string suiteHost = *url::host(CaptureConfig::webSuiteOrigin());
    InMemoryWebsiteDataStore data;
    InMemoryWebView view{data};
};

} // namespace

TEST_F(WebSessionBridgeTest, InstallSetsLongLivedSecureCookiesAndTheSeedScript) {
    EXPECT_FALSE(WebSessionBridge::install(view, now, sandbox.secrets()));
    EXPECT_TRUE(data.allCookies().empty());
    EXPECT_TRUE(view.userScripts().empty());

    ASSERT_TRUE(SessionStore::save(session(), sandbox.secrets()));
    ASSERT_TRUE(WebSessionBridge::install(view, now, sandbox.secrets()));
    const auto cookies = data.allCookies();
    ASSERT_EQ(cookies.size(), 1U);
    EXPECT_EQ(cookies[0],
              (WebCookie{.name = key,
                         .value = WebSessionCookies::pairs(
                                      session(), CaptureConfig::supabaseProjectID(), now)[0]
                                      .second,
                         .domain = "." + suiteHost,
                         .path = "/",
                         .secure = true,
                         .sameSite = WebCookie::SameSitePolicy::lax,
                         .expires = now + seconds{31'536'000}}));
    ASSERT_EQ(view.userScripts().size(), 1U);
    EXPECT_EQ(view.userScripts()[0].source,
              WebSessionCookies::seedScript(session(), CaptureConfig::webSuiteOrigin(),
                                            CaptureConfig::supabaseProjectID(), now));
    EXPECT_EQ(view.userScripts()[0].injectionTime, UserScript::InjectionTime::atDocumentStart);
    EXPECT_TRUE(view.userScripts()[0].forMainFrameOnly);

    // The suite's data is another user's when the last installed user was someone else.
    const Preferences suite = CaptureConfig::appGroupPreferences();
    data.setLocalStorageItem(suiteHost, "drafts", "someone else's");
    data.setLocalStorageItem("elsewhere.io", "k", "v");
    suite.set(WebSessionBridge::installedUserKey, std::string("previous-user"));
    ASSERT_TRUE(WebSessionBridge::install(data, now, sandbox.secrets()));
    EXPECT_EQ(data.localStorageItem(suiteHost, "drafts"), std::nullopt);
    EXPECT_EQ(data.localStorageItem("elsewhere.io", "k"), "v");
    EXPECT_FALSE(suite.get<std::string>(WebSessionBridge::installedUserKey));

    suite.set(WebSessionBridge::installedUserKey, std::string("stored-user"));
    data.setLocalStorageItem(suiteHost, "drafts", "mine");
    ASSERT_TRUE(WebSessionBridge::install(data, now, sandbox.secrets()));
    EXPECT_EQ(data.localStorageItem(suiteHost, "drafts"), "mine");
    EXPECT_EQ(cookieNames(), std::vector{key});
}

TEST_F(WebSessionBridgeTest, AdoptTakesOnlyWholeSessionsAndThePagesBeforeItsCookies) {
    data.setCookie({.name = key, .value = "%7B%7D", .domain = "." + suiteHost});
    data.setLocalStorageItem(suiteHost, key, R"({"access_token":"a"})");
    EXPECT_FALSE(WebSessionBridge::adopt(view, sandbox.secrets()));
    EXPECT_FALSE(WebSessionBridge::adopt(data, sandbox.secrets()));
    EXPECT_EQ(SessionStore::read(sandbox.secrets()), std::nullopt);

    for (const auto& [name, value] : WebSessionCookies::pairs(
             session("from-cookies"), CaptureConfig::supabaseProjectID(), now)) {
        data.setCookie({.name = name, .value = value, .domain = "." + suiteHost});
    }
    data.setLocalStorageItem(suiteHost, key,
                             *WebSessionCookies::sessionObject(session("from-page"), now));
    ASSERT_TRUE(WebSessionBridge::adopt(view, sandbox.secrets()));
    EXPECT_EQ(SessionStore::read(sandbox.secrets())->refreshToken, "from-page");

    view.load("https://elsewhere.io/");
    ASSERT_TRUE(WebSessionBridge::adopt(view, sandbox.secrets()));
    EXPECT_EQ(SessionStore::read(sandbox.secrets())->refreshToken, "from-cookies");
}

TEST_F(WebSessionBridgeTest, ClearRemovesEveryCopyOfTheSessionAndNothingElse) {
    ASSERT_TRUE(SessionStore::save(session(std::string(5000, 'r')), sandbox.secrets()));
    ASSERT_TRUE(WebSessionBridge::install(view, now, sandbox.secrets()));
    EXPECT_EQ(cookieNames().size(), 2U);
    data.setLocalStorageItem(suiteHost, key, "{}");
    data.setLocalStorageItem("app." + suiteHost, "k", "v");
    data.setCookie({.name = key, .value = "x", .domain = "elsewhere.io"});
    data.setCookie({.name = "theme", .value = "dark", .domain = "elsewhere.io"});
    CaptureConfig::appGroupPreferences().set(WebSessionBridge::installedUserKey,
                                             std::string("stored-user"));

    WebSessionBridge::clear(view);
    EXPECT_EQ(cookieNames(), std::vector<std::string>{"theme"});
    EXPECT_EQ(data.localStorageItem(suiteHost, key), std::nullopt);
    EXPECT_EQ(data.localStorageItem("app." + suiteHost, "k"), std::nullopt);
    EXPECT_FALSE(
        CaptureConfig::appGroupPreferences().get<std::string>(WebSessionBridge::installedUserKey));
}
