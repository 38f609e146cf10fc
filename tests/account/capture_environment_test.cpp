#include <capturekit/account/capture_environment.hpp>
#include <capturekit/platform/application_info.hpp>

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace capturekit;
using Kind = CaptureEnvironment::Kind;

namespace {

constexpr bool shipped = false; // outside a test runner: the identifier is checked
constexpr bool testRunner = true;

Kind chosenKind(std::optional<std::string_view> setting,
                std::string_view id = "com.merrow.loft.mac") {
    const auto result = CaptureEnvironment::choose(setting, id, testRunner);
    EXPECT_TRUE(result) << (setting ? *setting : "(absent)");
    return result ? result->kind : Kind::production;
}

ConfigurationError::Kind errorKind(std::optional<std::string_view> setting,
                                   std::optional<std::string_view> id, bool underTestRunner) {
    const auto result = CaptureEnvironment::choose(setting, id, underTestRunner);
    EXPECT_FALSE(result);
    return result ? ConfigurationError::Kind::invalidAPIBase : result.error().kind;
}

} // namespace

TEST(EnvironmentChoice, SettingsThatSelectAnEnvironment) {
    for (const auto setting :
         {std::optional<std::string_view>(), std::optional<std::string_view>(""),
          std::optional<std::string_view>(" \tProduction  "),
          std::optional<std::string_view>("production")}) {
        EXPECT_EQ(chosenKind(setting), Kind::production);
    }
    EXPECT_EQ(chosenKind("STAGING"), Kind::staging);
    EXPECT_EQ(chosenKind("\t staging"), Kind::staging);
}

TEST(EnvironmentChoice, AnythingElseIsAConfigurationErrorThatShowsTheValue) {
    for (const char* bad : {"prod", "staging\n", "\nproduction", "dev", "production staging"}) {
        EXPECT_EQ(errorKind(bad, "com.merrow.loft.mac", testRunner),
                  ConfigurationError::Kind::unrecognisedEnvironment)
            << bad;
    }
    const auto error = CaptureEnvironment::choose("staging\n", std::nullopt, testRunner).error();
    EXPECT_NE(error.description().find("“staging\\n”"), std::string::npos) << error.description();
    EXPECT_NE(error.description().find("TARVO_ENVIRONMENT"), std::string::npos);
}

TEST(EnvironmentChoice, TheApplicationIdMustMatchTheEnvironmentOutsideTheTestRunner) {
    for (const char* development : {"com.merrow.loft.mac.dev", "com.merrow.loft.dev.mac"}) {
        EXPECT_TRUE(CaptureEnvironment::choose("staging", development, shipped)) << development;
        EXPECT_EQ(errorKind("", development, shipped), ConfigurationError::Kind::identifierMismatch)
            << development;
    }
    for (const char* release : {"com.merrow.loft.mac", "com.merrow.loft.devtools", "dev.merrow"}) {
        EXPECT_TRUE(CaptureEnvironment::choose("production", release, shipped)) << release;
        EXPECT_EQ(errorKind("staging", release, shipped),
                  ConfigurationError::Kind::identifierMismatch)
            << release;
    }
    const auto mismatch =
        CaptureEnvironment::choose("", "com.merrow.loft.mac.dev", shipped).error();
    EXPECT_EQ(mismatch.description(),
              "The application id com.merrow.loft.mac.dev belongs to a staging build, but the "
              "build's environment setting (TARVO_ENVIRONMENT) selects production.");
}

TEST(EnvironmentChoice, TheTestRunnerOrAMissingIdSkipsTheIdentifierCheck) {
    EXPECT_EQ(chosenKind("staging", "com.merrow.loft.mac"), Kind::staging);
    EXPECT_EQ(chosenKind("production", "com.merrow.loft.mac.dev"), Kind::production);
    EXPECT_TRUE(CaptureEnvironment::choose("staging", std::nullopt, shipped));
    EXPECT_TRUE(CaptureEnvironment::choose("production", "", shipped));
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

TEST(APIBaseOverride, SchemeHostAndPortAreAcceptedAndNothingMore) {
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
        const auto parsed = CaptureEnvironment::parseAPIBase(bad);
        ASSERT_FALSE(parsed) << bad;
        EXPECT_EQ(parsed.error().kind, ConfigurationError::Kind::invalidAPIBase);
    }
}

TEST(ConfigurationStopDeathTest, ABadConfigurationEndsTheProcessWithEXCONFIGSayingWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(stopForConfigurationError(
                    CaptureEnvironment::choose("prod", std::nullopt, testRunner).error()),
                testing::ExitedWithCode(78),
                "tarvo Capture cannot start: .*TARVO_ENVIRONMENT.*“prod”");
}

TEST(CaptureEnvironmentTest, AnotherBackendTakesItsKeyOnlyTogetherWithItsAddress) {
    using Override = CaptureEnvironment::BackendOverride;
    const std::string jwt = "eyJhbGciOiJIUzI1NiJ9.eyJyb2xlIjoiYW5vbiJ9.c2ln";
    const auto parsed = [](std::string_view base, std::string_view key) {
        return CaptureEnvironment::parseBackendOverride(base, key).value();
    };
    EXPECT_EQ(parsed("", ""), std::nullopt);
    EXPECT_EQ(parsed("http://127.0.0.1:1", ""), Override("http://127.0.0.1:1", std::nullopt));
    EXPECT_EQ(parsed("http://127.0.0.1:1", " " + jwt + "\n"), Override("http://127.0.0.1:1", jwt));
    EXPECT_EQ(CaptureEnvironment::parseBackendOverride("", jwt).error().kind,
              ConfigurationError::Kind::apiKeyWithoutBase);
    for (const std::string bad :
         {"a.b", "a..c", "a.b.c.d", "a.b.c d", "x\r\n.y.z", "sb_publishable_"}) {
        EXPECT_EQ(CaptureEnvironment::parseBackendOverride("http://h", bad).error().kind,
                  ConfigurationError::Kind::invalidAPIKey)
            << bad;
    }
    EXPECT_TRUE(CaptureEnvironment::isWellFormedAnonKey("sb_publishable_Ab-9_x"));
}
