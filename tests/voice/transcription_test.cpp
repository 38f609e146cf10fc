#include "support/account_sandbox.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/account/capture_config.hpp>
#include <capturekit/voice/cloud_transcription.hpp>
#include <capturekit/voice/voice_settings.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace capturekit;
using tarvo::test::AccountSandbox;

namespace {

using Plan = CloudTranscription::Plan;
using Outcome = CloudTranscription::Outcome;

Plan onDeviceWith(std::string note) {
    return Plan{.useCloud = false, .note = std::move(note)};
}

} // namespace

TEST(VoiceSettingsTest, DefaultsStandForAbsentAndUnknownValues) {
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
}

TEST(VoiceSettingsTest, TheCloudIsUsedOnlyWithConsent) {
    AccountSandbox sandbox;
    VoiceSettings::setEngine(TranscriptionEngine::cloud);
    EXPECT_EQ(VoiceSettings::effectiveEngine(), TranscriptionEngine::onDevice);
    EXPECT_EQ(CloudTranscription::plan(VoiceSettings::effectiveEngine(), true, true, true), Plan{});

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
    const Date from = dates::referenceDate + std::chrono::hours{24 * 9000};
    EXPECT_EQ(CloudTranscription::expiry(AudioRetention::sevenDays, from),
              from + std::chrono::seconds{604'800});
    EXPECT_EQ(CloudTranscription::expiry(AudioRetention::thirtyDays, from),
              from + std::chrono::seconds{2'592'000});
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
