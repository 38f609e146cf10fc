#include <capturekit/content/share_log.hpp>

#include <gtest/gtest.h>

#include <thread>

using namespace capturekit;
using namespace std::chrono_literals;

TEST(ShareLog, MarksCountFromTheFirstMarkOfTheProcess) {
    EXPECT_EQ(ShareLog::entryText(1234ms, "rendered page"), "[share-stage +1234ms] rendered page");
    const auto first = ShareLog::step("start");
    std::this_thread::sleep_for(20ms);
    const auto later = ShareLog::step("sent");
    EXPECT_LT(first, 20ms);
    EXPECT_GE(later - first, 20ms);
}
