#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/capture_endpoints.hpp>
#include <capturekit/account/capture_environment.hpp>
#include <capturekit/account/environment_banner.hpp>
#include <capturekit/platform/application_info.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <variant>

using namespace capturekit;
using Kind = CaptureEnvironment::Kind;
using Error = ConfigurationError::Kind;
using tarvo::test::ScopedEnvironmentVariable;
using tarvo::test::TemporaryFolder;

namespace {

constexpr bool shipped = false; // outside a test runner: the identifier is checked
constexpr bool testRunner = true;
constexpr std::optional<std::string_view> absent;
constexpr std::string_view release = "com.merrow.loft.mac";
constexpr std::string_view development = "com.merrow.loft.mac.dev";

// The environment chosen, or the kind of configuration error.
std::variant<Kind, Error> choice(std::optional<std::string_view> setting,
                                 std::optional<std::string_view> id, bool underTestRunner) {
    const auto result = CaptureEnvironment::choose(setting, id, underTestRunner);
    return result ? std::variant<Kind, Error>(result->kind) : result.error().kind;
}

} // namespace

// The test runner or a missing id skips the identifier check; outside it, the id's ".dev" part
// must match the setting.
TEST(EnvironmentChoice, TheSettingChoosesAndTheApplicationIdMustMatchItOutsideTheTestRunner) {
    struct Case {
        std::optional<std::string_view> setting, id;
        bool underTestRunner;
        std::variant<Kind, Error> outcome;
    };
    for (const auto& [setting, id, underTestRunner, outcome] : std::initializer_list<Case>{
             {absent, release, testRunner, Kind::production},
             {"", release, testRunner, Kind::production},
             {" \tProduction  ", release, testRunner, Kind::production},
             {"STAGING", release, testRunner, Kind::staging},
             {"production", development, testRunner, Kind::production},
             {"prod", release, testRunner, Error::unrecognisedEnvironment},
             {"staging\n", release, testRunner, Error::unrecognisedEnvironment},
             {"production staging", release, testRunner, Error::unrecognisedEnvironment},
             {"staging", development, shipped, Kind::staging},
             {"", development, shipped, Error::identifierMismatch},
             {"", "com.merrow.loft.dev.mac", shipped, Error::identifierMismatch},
             {"production", release, shipped, Kind::production},
             {"production", "com.merrow.loft.devtools", shipped, Kind::production},
             {"staging", release, shipped, Error::identifierMismatch},
             {"staging", "com.merrow.loft.devtools", shipped, Error::identifierMismatch},
             {"staging", absent, shipped, Kind::staging},
             {"production", "", shipped, Kind::production},
         }) {
        EXPECT_EQ(choice(setting, id, underTestRunner), outcome)
            << setting.value_or("(absent)") << " " << id.value_or("(absent)") << " "
            << underTestRunner;
    }
}

TEST(EnvironmentChoice, AConfigurationErrorShowsTheValueAndTheSetting) {
    const auto unrecognised = CaptureEnvironment::choose("staging\n", absent, testRunner).error();
    EXPECT_NE(unrecognised.description().find("“staging\\n”"), std::string::npos)
        << unrecognised.description();
    EXPECT_NE(unrecognised.description().find("TARVO_ENVIRONMENT"), std::string::npos);
    EXPECT_EQ(CaptureEnvironment::choose("", development, shipped).error().description(),
              "The application id com.merrow.loft.mac.dev belongs to a staging build, but the "
              "build's environment setting (TARVO_ENVIRONMENT) selects production.");
}

TEST(EnvironmentChoice, TheCurrentEnvironmentIsChosenOnceForAllThreads) {
    ASSERT_TRUE(application::isRunningUnderTestRunner());
    std::vector<const CaptureEnvironment*> seen(8);
    {
        std::vector<std::jthread> threads;
        for (auto& slot : seen) {
            threads.emplace_back([&slot] { slot = &CaptureEnvironment::current(); });
        }
    }
    EXPECT_EQ(std::set<const CaptureEnvironment*>(seen.begin(), seen.end()).size(), 1u);
    const auto expected =
        CaptureEnvironment::choose(application::buildSetting(CaptureEnvironment::infoKey),
                                   application::identifier(), testRunner);
    ASSERT_TRUE(expected);
    EXPECT_EQ(CaptureEnvironment::current(), *expected);
}

// That a bad value stops the program with status 78 and says why is tested through the command
// line.
TEST(APIBaseOverride, OnlySchemeHostAndPortAreAcceptedAndAKeyOnlyWithThem) {
    const auto accepted = [](std::string_view value) {
        return CaptureEnvironment::parseAPIBase(value).value_or(std::nullopt);
    };
    EXPECT_EQ(accepted("http://127.0.0.1:54321"), "http://127.0.0.1:54321");
    EXPECT_EQ(accepted(" HTTPS://Backend.test/ \n"), "https://Backend.test");
    EXPECT_EQ(accepted("http://[::1]:8080"), "http://[::1]:8080");
    EXPECT_EQ(CaptureEnvironment::parseAPIBase("   ").value(), std::nullopt);

    for (const char* bad : {"127.0.0.1:54321", "ftp://host", "http://", "http://host/path",
                            "http://host:0", "http://host:65536", "http://host:", "http://u@host",
                            "http://host?x", "http://[zz]:1", "http://ho st"}) {
        EXPECT_EQ(CaptureEnvironment::parseAPIBase(bad).error().kind, Error::invalidAPIBase) << bad;
    }

    using Override = CaptureEnvironment::BackendOverride;
    const std::string jwt = "eyJhbGciOiJIUzI1NiJ9.eyJyb2xlIjoiYW5vbiJ9.c2ln";
    const auto parsed = [](std::string_view base, std::string_view key) {
        return CaptureEnvironment::parseBackendOverride(base, key);
    };
    EXPECT_EQ(parsed("", "").value(), std::nullopt);
    EXPECT_EQ(parsed("http://127.0.0.1:1", "").value(),
              Override("http://127.0.0.1:1", std::nullopt));
    EXPECT_EQ(parsed("http://127.0.0.1:1", " " + jwt + "\n").value(),
              Override("http://127.0.0.1:1", jwt));
    EXPECT_EQ(parsed("", jwt).error().kind, Error::apiKeyWithoutBase);
    for (const std::string bad :
         {"a.b", "a..c", "a.b.c.d", "a.b.c d", "x\r\n.y.z", "sb_publishable_"}) {
        EXPECT_EQ(parsed("http://h", bad).error().kind, Error::invalidAPIKey) << bad;
    }
    EXPECT_TRUE(CaptureEnvironment::isWellFormedAnonKey("sb_publishable_Ab-9_x"));
}

// The percent-encoding of paths and the resolving of dot segments are the URL helpers' own tests.
TEST(Endpoints, StorageObjectsAndWebAppsAreFoldersOfTheirBasesAndOnlyStagingHasABanner) {
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
