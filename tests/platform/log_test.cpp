#include <capturekit/platform/log.hpp>

#include <support/temporary_folder.hpp>

#include <gtest/gtest.h>

using namespace capturekit;
using tarvo::test::ScopedEnvironmentVariable;

TEST(Log, AStderrEntryIsOneLineWithSubsystemCategoryAndLevel) {
    EXPECT_EQ(Logger::stderrLine("com.merrow.loft.mac", "selection", LogLevel::error, "no text"),
              "com.merrow.loft.mac[selection] error: no text\n");
    // A line break inside a message cannot forge a second entry.
    EXPECT_EQ(Logger::stderrLine("s", "c", LogLevel::notice, "a\nb\r\x01\\\tz"),
              "s[c] notice: a\\nb\\r\\x01\\\\\tz\n");
    EXPECT_EQ(Logger::stderrLine("s", "c", LogLevel::info, "bad \xff byte"),
              "s[c] info: bad \xEF\xBF\xBD byte\n");
}

TEST(Log, WithStderrChosenEntriesGoThereAndDebugEntriesDoNot) {
    const ScopedEnvironmentVariable choice("TARVO_LOG", "stderr");
    const Logger logger("com.merrow.loft.mac", "quick");
    ::testing::internal::CaptureStderr();
    logger.debug("hidden detail");
    logger.info("panel opened");
    logger.fault("multi\nline");
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, "com.merrow.loft.mac[quick] info: panel opened\n"
                       "com.merrow.loft.mac[quick] fault: multi\\nline\n");
}
