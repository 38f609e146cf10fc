#include <capturekit/voice/recording_policy.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace capturekit;

TEST(RecordingPolicyTest, LimitsApplyFromTheirBoundary) {
    EXPECT_FALSE(RecordingPolicy::shouldNudge(179.9));
    EXPECT_TRUE(RecordingPolicy::shouldNudge(180));
    EXPECT_FALSE(RecordingPolicy::shouldHardStop(599.9));
    EXPECT_TRUE(RecordingPolicy::shouldHardStop(600));
    EXPECT_TRUE(RecordingPolicy::isTooShortToKeep(0.99));
    EXPECT_FALSE(RecordingPolicy::isTooShortToKeep(1));
}

TEST(RecordingPolicyTest, SilenceStopsOnlyAfterTheGracePeriodAndThirtySilentSeconds) {
    EXPECT_FALSE(RecordingPolicy::shouldSilenceStop(4, 40));
    EXPECT_TRUE(RecordingPolicy::shouldSilenceStop(6, 30));
    EXPECT_FALSE(RecordingPolicy::shouldSilenceStop(60, 29.9));
    EXPECT_TRUE(RecordingPolicy::isSilent(-45.1F));
    EXPECT_FALSE(RecordingPolicy::isSilent(-45));
}

TEST(RecordingPolicyTest, LevelRisesFromNothingAtMinusSixtyToFullAtZero) {
    EXPECT_EQ(RecordingPolicy::level(-60), 0);
    EXPECT_EQ(RecordingPolicy::level(-160), 0);
    EXPECT_EQ(RecordingPolicy::level(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(RecordingPolicy::level(-std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(RecordingPolicy::level(std::numeric_limits<float>::infinity()), 0);
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
