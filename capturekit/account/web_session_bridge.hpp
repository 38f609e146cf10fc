#pragma once

// Carries the stored session into an embedded web view of the web suite, takes a session the web
// view holds back into the secret store, and clears it from the web view on sign-out. The native
// copy stays the source of truth: install after sign-in, adopt when only the web view has a
// session, clear on sign-out. Calls block; run them where the web view may be used.

#include <capturekit/account/web_view.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/secret_store.hpp>

#include <chrono>
#include <string_view>

namespace capturekit::WebSessionBridge {

// The app-group preference naming the user whose data the web view holds. The hosting surface
// writes it after a successful install; installing reads it and clearing removes it.
inline constexpr std::string_view installedUserKey = "webSessionUserID";
inline constexpr std::chrono::seconds cookieLifetime{31'536'000};

// Sets the session cookies (and, into a web view, a document-start script that seeds the web
// application's local storage). When the web view may hold another user's data, it is cleared
// first. False, with nothing touched, when no session is stored or it cannot be formatted.
bool install(WebView& view, Date now, SecretStore& secrets = SecretStore::active());
bool install(WebsiteDataStore& store, Date now, SecretStore& secrets = SecretStore::active());

// Stores the web view's session: the web application's local storage when the web suite's page is
// shown, else its cookies. True when a complete session was found and stored.
bool adopt(WebView& view, SecretStore& secrets = SecretStore::active());
bool adopt(WebCookieStore& cookies, SecretStore& secrets = SecretStore::active());

// Deletes the session cookies and every website data record of the suite's web domain, and forgets
// whose data the web view held.
void clear(WebsiteDataStore& store);
void clear(WebView& view);

} // namespace capturekit::WebSessionBridge
