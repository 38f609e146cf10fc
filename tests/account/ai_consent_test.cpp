#include "support/account_sandbox.hpp"

#include <capturekit/account/ai_consent.hpp>
#include <capturekit/platform/notification_center.hpp>

#include <gtest/gtest.h>

#include <vector>

using namespace capturekit;
using tarvo::test::AccountSandbox;

namespace {

class AIConsentTest : public ::testing::Test {
protected:
    AIConsentTest() {
        for (const std::string_view name :
             {AIConsent::needsDecisionNotification, AIConsent::didChangeNotification}) {
            observations.push_back(NotificationCenter::shared().addObserver(
                std::string(name),
                [this](std::string_view posted) { posts.emplace_back(posted); }));
        }
    }

    AccountSandbox sandbox;
    std::vector<std::string> posts;
    std::vector<NotificationCenter::Observation> observations;
};

} // namespace

TEST_F(AIConsentTest, AnAnswerIsKeptAnnouncedAndStopsTheQuestionUntilReset) {
    const auto expectUndecided = [&] {
        EXPECT_FALSE(AIConsent::hasDecided());
        EXPECT_FALSE(AIConsent::isGranted());
        EXPECT_TRUE(AIConsent::suggestionsEnabled());
        EXPECT_FALSE(AIConsent::mayRequestSuggestions());
        AIConsent::askIfUndecided();
        EXPECT_EQ(posts.back(), "AIConsent.needsDecision");
    };
    expectUndecided();

    AIConsent::record(true);
    EXPECT_TRUE(AIConsent::hasDecided());
    EXPECT_TRUE(AIConsent::isGranted());
    EXPECT_TRUE(AIConsent::mayRequestSuggestions());
    AIConsent::setSuggestionsEnabled(false);
    EXPECT_FALSE(AIConsent::mayRequestSuggestions());
    AIConsent::record(false);
    EXPECT_TRUE(AIConsent::hasDecided());
    EXPECT_FALSE(AIConsent::isGranted());
    AIConsent::askIfUndecided();
    EXPECT_EQ(posts, (std::vector<std::string>{"AIConsent.needsDecision", "AIConsent.didChange",
                                               "AIConsent.didChange"}));

    AIConsent::reset(); // announced too
    expectUndecided();
    EXPECT_EQ(posts.size(), 5u);
}

TEST_F(AIConsentTest, ANonBooleanSuggestionsValueReadsAsOnAndAnotherProcessesAnswerIsSeen) {
    const Preferences shared = CaptureConfig::appGroupPreferences();
    shared.set("aiSuggestionsEnabled", std::string("no"));
    EXPECT_TRUE(AIConsent::suggestionsEnabled());
    shared.set("aiConsentGranted", std::int64_t{1});
    EXPECT_FALSE(AIConsent::isGranted());

    // Another program of the suite answers through its own connection to the same store.
    Preferences(CaptureConfig::appGroupID()).set("aiConsentGranted", true);
    EXPECT_TRUE(AIConsent::isGranted());
}
