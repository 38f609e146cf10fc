#include <capturekit/account/account_steps.hpp>

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/device_token_minter.hpp>
#include <capturekit/account/platform_words.hpp>
#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/account/token_store.hpp>
#include <capturekit/platform/text.hpp>

namespace capturekit::AccountSteps {

bool hasUsableToken() {
    const auto stored = TokenStore::read();
    return stored && !text::isBlank(*stored);
}

std::expected<SignedIn, AuthError> signInAndSetUp(std::string_view email, std::string_view password,
                                                  std::stop_token stop) {
    const std::string typed = text::trimmedSpacesAndTabs(text::validUTF8(email));
    const auto session = SupabaseAuth::shared().signIn(typed, password, stop);
    if (!session) {
        return std::unexpected(session.error());
    }
    SignedIn signedIn;
    signedIn.email = session->email.value_or(typed);
    signedIn.hasToken = hasUsableToken();
    if (signedIn.hasToken) {
        return signedIn;
    }
    const auto minted =
        DeviceTokenMinter::mint(DeviceTokenMinter::deviceName(), PlatformWords::platformTag, stop);
    if (minted) {
        signedIn.hasToken = true;
        signedIn.registeredNow = true;
    } else {
        signedIn.setUpError = "Signed in, but couldn’t set " +
                              std::string(PlatformWords::thisMachine) +
                              " up for capture: " + minted.error().description();
    }
    return signedIn;
}

void signOut(std::stop_token stop) {
    SupabaseAuth::shared().signOut(std::move(stop));
    TokenStore::remove();
    const auto preferences = CaptureConfig::standardPreferences();
    preferences.set(autoCaptureEnabledKey, PreferenceValue(false));
    preferences.remove(autoCaptureEnabledAtKey);
    AIConsent::reset();
}

} // namespace capturekit::AccountSteps
