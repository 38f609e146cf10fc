// The menu model when credentials are to go to the keyring and no keyring can be reached: it
// comes up, says what is wrong, and a sign-in fails with the keyring's sentence instead of
// hanging. A program of its own, since the secret store is chosen once per process.

#include <desktop/model/capture_menu_model.hpp>
#include <desktop/platform/fake/fake_desktop_services.hpp>

#include "desktop/menu_model_sandbox.hpp"
#include "desktop/qt_event_loop.hpp"
#include "desktop/recording_panels.hpp"
#include "support/backend_client.hpp"
#include "support/dev_backend_environment.hpp"

#include <capturekit/platform/secret_store.hpp>

#include <QTest>

#include <gtest/gtest.h>

using tarvo::desktop::AppSettings;
using tarvo::desktop::CaptureMenuModel;
using tarvo::test::BackendClient;
using tarvo::test::DevBackendEnvironment;

namespace {

// The sandbox's folders, but the keyring instead of the plain file, and no session bus to find
// one on.
const bool sandboxed = [] {
    tarvo::test::useMenuModelSandbox();
    ::unsetenv("TARVO_SECRET_STORE");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", tarvo::test::menuModelSandbox().path().c_str(), 1);
    return true;
}();
auto* const environment = DevBackendEnvironment::install();

TEST(KeyringAbsentTest, TheMenuSaysWhyAndSignInFailsWithTheKeyringSentence) {
    tarvo::test::qtApplication();
    BackendClient backend(DevBackendEnvironment::backend());
    const auto email = BackendClient::uniqueEmail();
    backend.addUser(email, "correct horse");

    tarvo::desktop::fake::FakeDesktopServices fakes;
    tarvo::test::RecordingPanels panels;
    CaptureMenuModel model(fakes.services(), panels.panels());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.isLoaded(); }, 20000));
    auto& account = model.account();
    EXPECT_FALSE(account.hasToken());
    const capturekit::SecretStoreError absent{capturekit::SecretStoreError::Kind::unavailable, {}};
    EXPECT_EQ(account.credentialsNote().toStdString(), absent.description());

    account.signIn(QString::fromStdString(email), QStringLiteral("correct horse"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !account.accountBusy(); }, 30000));
    EXPECT_EQ(account.accountError(), "Couldn’t save your session to the keyring.");
    EXPECT_TRUE(account.signedInEmail().isEmpty());
}

} // namespace
