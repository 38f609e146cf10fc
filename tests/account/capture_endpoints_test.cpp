#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/account/environment_banner.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace capturekit;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

namespace {

const CaptureEndpoints production{CaptureEnvironment::production()};
const CaptureEndpoints staging{CaptureEnvironment::staging()};

} // namespace

TEST(Endpoints, StorageObjectPathsArePercentEncodedWithTheirSlashesKept) {
    const std::string prefix =
        CaptureEnvironment::production().supabaseBase() + "/storage/v1/object/";
    EXPECT_EQ(production.storageObjectURL("capture-media", "voice/abc def.m4a"),
              prefix + "capture-media/voice/abc%20def.m4a");
    EXPECT_EQ(production.storageObjectURL("capture-media", "u/ré?#%.m4a"),
              prefix + "capture-media/u/r%C3%A9%3F%23%25.m4a");
    const std::string viaConfig = CaptureConfig::storageObjectURL("voice/abc def.m4a");
    EXPECT_TRUE(viaConfig.ends_with("/storage/v1/object/capture-media/voice/abc%20def.m4a"))
        << viaConfig;
}

TEST(WebAppURL, APathBecomesAFolderOfTheWebSuite) {
    const auto& environment = CaptureEnvironment::production();
    const std::string& origin = environment.webSuiteOrigin;
    EXPECT_EQ(CaptureConfig::webAppURL(environment, "docket"), origin + "/docket/");
    EXPECT_EQ(CaptureConfig::webAppURL(environment, "cabinet/video-games"),
              origin + "/cabinet/video-games/");
    EXPECT_EQ(CaptureConfig::webAppURL(CaptureEnvironment::staging(), "diary"),
              CaptureEnvironment::staging().webSuiteOrigin + "/diary/");
    // Dot segments cannot climb above the origin.
    EXPECT_EQ(CaptureConfig::webAppURL(environment, "../../docket"), origin + "/docket/");
}

TEST(WebAppURL, PathsThatDoNotParseOrLeaveTheSuiteGiveNothing) {
    const auto& environment = CaptureEnvironment::production();
    for (const char* bad : {"two words", "é", "100%", "/evil.example", ""}) {
        EXPECT_EQ(CaptureConfig::webAppURL(environment, bad), std::nullopt) << bad;
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

    const auto container = CaptureConfig::appGroupContainer();
    ASSERT_TRUE(container);
    EXPECT_EQ(*container, folder / "share" / environment.appGroupID);
    struct stat status {};
    ASSERT_EQ(::stat(container->c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    ASSERT_TRUE(CaptureConfig::appGroupPreferences().set("aiConsentDecided", true));
    EXPECT_EQ(Preferences(environment.appGroupID, folder / "config").get<bool>("aiConsentDecided"),
              true);
    EXPECT_EQ(CaptureConfig::standardPreferences().domain(), CaptureConfig::applicationID());
    EXPECT_EQ(CaptureConfig::supabaseAnonKey(), environment.supabaseAnonKey);
}
