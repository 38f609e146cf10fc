#pragma once

// The account steps every surface takes the same way: signing in and setting this computer up for
// capture, and signing out. Blocking; call them off the UI thread.

#include <capturekit/account/auth_error.hpp>

#include <expected>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace capturekit::AccountSteps {

// The desktop app's switch for watching screenshots and its switch-on date, in the application's
// standard preferences. Signing out turns the switch off, from whichever surface it happens.
inline constexpr std::string_view autoCaptureEnabledKey = "desktopAutoCaptureEnabled";
inline constexpr std::string_view autoCaptureEnabledAtKey = "desktopAutoCaptureEnabledAt";

struct SignedIn {
    std::string email; // the session's, else the one typed (trimmed)
    // Whether this computer holds a device token now (it had one, or one was just minted).
    bool hasToken = false;
    bool registeredNow = false; // this sign-in registered the token
    // Why this computer could not be set up: "Signed in, but couldn’t set this computer up for
    // capture: …". The person is signed in all the same.
    std::optional<std::string> setUpError;
};

// Signs in with the e-mail (trimmed of spaces and tabs) and the password as typed; then, when this
// computer has no device token yet, registers one under its name.
std::expected<SignedIn, AuthError> signInAndSetUp(std::string_view email, std::string_view password,
                                                  std::stop_token stop = {});

// Ends the session (never fails), forgets the device token and the AI answer, and switches the
// desktop's screenshot capture off.
void signOut(std::stop_token stop = {});

// A device token is stored and is not blank.
bool hasUsableToken();

} // namespace capturekit::AccountSteps
