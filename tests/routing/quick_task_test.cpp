#include <capturekit/routing/quick_task.hpp>

#include <gtest/gtest.h>

using namespace capturekit;

TEST(QuickTask, BlankTextGivesNoEntry) {
    EXPECT_EQ(QuickTask::entry(" \n\t\u2003\r\n", "desk", "R"), std::nullopt);
    EXPECT_EQ(QuickTask::entry("", std::nullopt, "R"), std::nullopt);
}

TEST(QuickTask, SendsTheTrimmedTextToDocketWithExactlyItsKeys) {
    const auto entry = QuickTask::entry("  call the vet\n", "Ann\u2019s laptop", "E621E1F8");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->text, "call the vet");
    EXPECT_EQ(entry->ref, "E621E1F8");
    EXPECT_EQ(entry->request.encoded(),
              R"({"destination":"docket","content":"call the vet","tags":["desktop"],)"
              R"("route_rung":"explicit","source_app":"linux","source_ref":"E621E1F8",)"
              "\"device\":\"Ann\u2019s laptop\"}");

    const auto withoutDevice = QuickTask::entry("x", std::nullopt, "R");
    EXPECT_EQ(withoutDevice->request.encoded(),
              R"({"destination":"docket","content":"x","tags":["desktop"],)"
              R"("route_rung":"explicit","source_app":"linux","source_ref":"R"})");
}

TEST(QuickTask, TheSameRefAlwaysGivesTheSameIdempotencyKey) {
    const auto first = QuickTask::entry("a", std::nullopt, "E621E1F8-C36C");
    const auto retry = QuickTask::entry("a ", "desk", "E621E1F8-C36C");
    EXPECT_EQ(first->idempotencyKey(), "quick-E621E1F8-C36C");
    EXPECT_EQ(retry->idempotencyKey(), first->idempotencyKey());
}
