#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/account/environment_banner.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

// The percent-encoding of paths and the resolving of dot segments are the URL helpers' own tests.
TEST(Endpoints, StorageObjectsAndWebAppsAreFoldersOfTheirBases) {
    const auto& production = CaptureEnvironment::production();
    EXPECT_EQ(CaptureEndpoints{production}.storageObjectURL("capture-media", "voice/a b.m4a"),
              production.supabaseBase() + "/storage/v1/object/capture-media/voice/a%20b.m4a");
    EXPECT_TRUE(CaptureConfig::storageObjectURL("voice/a.m4a")
                    .ends_with("/storage/v1/object/capture-media/voice/a.m4a"));

    const std::string& origin = production.webSuiteOrigin;
    EXPECT_EQ(CaptureConfig::webAppURL(production, "cabinet/video-games"),
              origin + "/cabinet/video-games/");
    EXPECT_EQ(CaptureConfig::webAppURL(CaptureEnvironment::staging(), "diary"),
              CaptureEnvironment::staging().webSuiteOrigin + "/diary/");
    EXPECT_EQ(CaptureConfig::webAppURL(production, "../../docket"), origin + "/docket/");
    for (const char* bad : {"two words", "/evil.example", ""}) {
        EXPECT_EQ(CaptureConfig::webAppURL(production, bad), std::nullopt) << bad;
    }
}

TEST(EnvironmentBanner, OnlyStagingShowsABannerNamingTheWebSuiteHost) {
    EXPECT_FALSE((EnvironmentBanner{EnvironmentBanner::Style::bar, CaptureEnvironment::production()}
                      .isShown()));
    const EnvironmentBanner bar{EnvironmentBanner::Style::bar, CaptureEnvironment::staging()};
    const EnvironmentBanner tag{EnvironmentBanner::Style::tag, CaptureEnvironment::staging()};
    ASSERT_TRUE(bar.isShown());
    EXPECT_EQ(bar.host(), "dev.tarvo.app");
    EXPECT_EQ(bar.text(), "captures go to dev.tarvo.app");
    EXPECT_EQ(tag.text(), "STAGING · dev.tarvo.app");

    CaptureEnvironment hostless = CaptureEnvironment::staging();
    hostless.webSuiteOrigin = "about:blank";
    EXPECT_EQ((EnvironmentBanner{EnvironmentBanner::Style::tag, hostless}.text()), "STAGING · dev");
}

TEST(CaptureConfig, StoresAndFoldersBelongToTheCurrentEnvironment) {
    TemporaryFolder folder;
    const ScopedEnvironmentVariable data("XDG_DATA_HOME", (folder / "share").c_str());
    const ScopedEnvironmentVariable config("XDG_CONFIG_HOME", (folder / "config").c_str());
    const auto& environment = CaptureConfig::environment();

    EXPECT_EQ(CaptureConfig::appGroupContainer().value(),
              folder / "share" / environment.appGroupID);
    ASSERT_TRUE(CaptureConfig::appGroupPreferences().set("aiConsentDecided", true));
    EXPECT_EQ(Preferences(environment.appGroupID, folder / "config").get<bool>("aiConsentDecided"),
              true);
}
