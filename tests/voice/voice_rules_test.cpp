#include "support/account_sandbox.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/voice/cloud_transcription.hpp>
#include <capturekit/voice/recording_policy.hpp>
#include <capturekit/voice/voice_settings.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

using namespace capturekit;
using namespace std::chrono_literals;
using tarvo::test::AccountSandbox;

namespace {

using Plan = CloudTranscription::Plan;
using Outcome = CloudTranscription::Outcome;

Plan onDeviceWith(std::string note) {
    return Plan{.useCloud = false, .note = std::move(note)};
}

} // namespace

TEST(VoiceSettingsTest, DefaultsStandForAbsentAndUnknownValuesAndTheCloudNeedsConsent) {
    AccountSandbox sandbox;
    EXPECT_EQ(VoiceSettings::engine(), TranscriptionEngine::onDevice);
    EXPECT_EQ(VoiceSettings::retention(), AudioRetention::sevenDays);

    const Preferences suite = CaptureConfig::appGroupPreferences();
    suite.set("voiceAudioRetention", std::string("forever"));
    suite.set("voiceTranscriptionEngine", std::int64_t{1});
    EXPECT_EQ(VoiceSettings::retention(), AudioRetention::sevenDays);
    EXPECT_EQ(VoiceSettings::engine(), TranscriptionEngine::onDevice);

    VoiceSettings::setRetention(AudioRetention::keep);
    VoiceSettings::setEngine(TranscriptionEngine::onDeviceThenCloud);
    EXPECT_EQ(suite.get<std::string>("voiceAudioRetention"), "keep");
    EXPECT_EQ(suite.get<std::string>("voiceTranscriptionEngine"), "onDeviceThenCloud");
    EXPECT_EQ(VoiceSettings::retention(), AudioRetention::keep);
    EXPECT_EQ(VoiceSettings::engine(), TranscriptionEngine::onDeviceThenCloud);

    // The cloud is used only with consent.
    VoiceSettings::setEngine(TranscriptionEngine::cloud);
    EXPECT_EQ(VoiceSettings::effectiveEngine(), TranscriptionEngine::onDevice);
    AIConsent::record(true);
    EXPECT_EQ(VoiceSettings::effectiveEngine(), TranscriptionEngine::cloud);
    AIConsent::record(false);
    EXPECT_EQ(VoiceSettings::effectiveEngine(), TranscriptionEngine::onDevice);
}

TEST(CloudTranscriptionTest, PlanExplainsEveryOnDeviceFallbackInOrder) {
    using enum TranscriptionEngine;
    EXPECT_EQ(CloudTranscription::plan(onDevice, false, false, false), Plan{});
    EXPECT_EQ(CloudTranscription::plan(cloud, false, false, false),
              onDeviceWith("Cloud transcription isn't available in this build — used on-device."));
    EXPECT_EQ(
        CloudTranscription::plan(onDeviceThenCloud, true, false, false),
        onDeviceWith("Sign in (Settings → Account) to use cloud transcription — used on-device."));
    EXPECT_EQ(CloudTranscription::plan(onDeviceThenCloud, true, true, false),
              onDeviceWith("Not on Wi-Fi — kept the on-device transcript."));
    EXPECT_EQ(CloudTranscription::plan(onDeviceThenCloud, true, true, true),
              Plan{.useCloud = true});
    // Only the combined engine waits for Wi-Fi.
    EXPECT_EQ(CloudTranscription::plan(cloud, true, true, false), Plan{.useCloud = true});
}

TEST(CloudTranscriptionTest, UploadedAudioHasItsPathAndExpiry) {
    EXPECT_EQ(CloudTranscription::storagePath("u-1", "6F1C"), "u-1/voice/6F1C.m4a");
    const Date from = dates::referenceDate + 24h * 9000;
    EXPECT_EQ(CloudTranscription::expiry(AudioRetention::sevenDays, from), from + 24h * 7);
    EXPECT_EQ(CloudTranscription::expiry(AudioRetention::thirtyDays, from), from + 24h * 30);
    EXPECT_EQ(CloudTranscription::expiry(AudioRetention::off, from), std::nullopt);
    EXPECT_EQ(CloudTranscription::expiry(AudioRetention::keep, from), std::nullopt);
}

TEST(CloudTranscriptionTest, DecodeGivesATrimmedTranscriptOrAReason) {
    EXPECT_EQ(CloudTranscription::decode(R"({"transcript":"  buy milk\n","reason":"x","n":1})"),
              Outcome{.transcript = "buy milk"});
    EXPECT_EQ(CloudTranscription::decode(R"({"transcript":"   "})"), Outcome{.reason = "empty"});
    EXPECT_EQ(CloudTranscription::decode(R"({"transcript":"","reason":"too_quiet"})"),
              Outcome{.reason = "too_quiet"});
    EXPECT_EQ(CloudTranscription::decode(R"({"transcript":null})"), Outcome{.reason = "empty"});
    EXPECT_EQ(CloudTranscription::decode("{}"), Outcome{.reason = "empty"});
    for (const std::string_view unreadable :
         {"not json", "", "[]", "\"text\"", R"({"transcript":42})", R"({"reason":["a"]})",
          "{\"transcript\":\"\xff\"}", R"({"transcript":"a"} trailing)"}) {
        EXPECT_EQ(CloudTranscription::decode(unreadable), Outcome{.reason = "unparseable"})
            << unreadable;
    }
}

TEST(RecordingPolicyTest, LimitsApplyFromTheirBoundary) {
    EXPECT_FALSE(RecordingPolicy::shouldNudge(179.9));
    EXPECT_TRUE(RecordingPolicy::shouldNudge(180));
    EXPECT_FALSE(RecordingPolicy::shouldHardStop(599.9));
    EXPECT_TRUE(RecordingPolicy::shouldHardStop(600));
    EXPECT_TRUE(RecordingPolicy::isTooShortToKeep(0.99));
    EXPECT_FALSE(RecordingPolicy::isTooShortToKeep(1));
    // Silence stops a recording only after the grace period and thirty silent seconds.
    EXPECT_FALSE(RecordingPolicy::shouldSilenceStop(4, 40));
    EXPECT_TRUE(RecordingPolicy::shouldSilenceStop(6, 30));
    EXPECT_FALSE(RecordingPolicy::shouldSilenceStop(60, 29.9));
    EXPECT_TRUE(RecordingPolicy::isSilent(-45.1F));
    EXPECT_FALSE(RecordingPolicy::isSilent(-45));
}

TEST(RecordingPolicyTest, LevelRisesFromNothingAtMinusSixtyToFullAtZero) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    for (const float silent : {-60.0F, -160.0F, std::nanf(""), -infinity, infinity}) {
        EXPECT_EQ(RecordingPolicy::level(silent), 0) << silent;
    }
    EXPECT_FLOAT_EQ(RecordingPolicy::level(0), 1);
    EXPECT_FLOAT_EQ(RecordingPolicy::level(6), 1);
    EXPECT_FLOAT_EQ(RecordingPolicy::level(-30), std::pow(0.5F, 1.5F));
    EXPECT_LT(RecordingPolicy::level(-45), RecordingPolicy::level(-30));
}

TEST(RecordingPolicyTest, TimeLabelShowsWholeMinutesAndSeconds) {
    EXPECT_EQ(RecordingPolicy::timeLabel(59.9), "0:59");
    EXPECT_EQ(RecordingPolicy::timeLabel(61), "1:01");
    EXPECT_EQ(RecordingPolicy::timeLabel(600), "10:00");
    EXPECT_EQ(RecordingPolicy::timeLabel(-3), "0:00");
    EXPECT_EQ(RecordingPolicy::timeLabel(-0.5), "0:00");
    EXPECT_EQ(RecordingPolicy::timeLabel(std::nan("")), "0:00");
    EXPECT_EQ(RecordingPolicy::timeLabel(6000), "100:00");
    // Never undefined behaviour, however long.
    EXPECT_FALSE(RecordingPolicy::timeLabel(std::numeric_limits<double>::infinity()).empty());
}
