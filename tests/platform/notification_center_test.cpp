#include <capturekit/platform/notification_center.hpp>

#include <gtest/gtest.h>

#include <thread>

using namespace capturekit;

TEST(NotificationCenter, ObserversOfANameRunInOrderOnThePostingThreadAndOnlyForThatName) {
    NotificationCenter center;
    std::vector<std::string> calls;
    std::thread::id observedOn;
    auto first = center.addObserver("AIConsent.didChange", [&](std::string_view name) {
        calls.push_back("1 " + std::string(name));
        observedOn = std::this_thread::get_id();
    });
    auto second =
        center.addObserver("AIConsent.didChange", [&](std::string_view) { calls.push_back("2"); });
    auto other = center.addObserver("AIConsent.needsDecision",
                                    [&](std::string_view) { calls.push_back("other"); });

    std::thread::id poster;
    std::thread([&] {
        poster = std::this_thread::get_id();
        center.post("AIConsent.didChange");
        center.post("nobody listens");
    }).join();
    EXPECT_EQ(calls, (std::vector<std::string>{"1 AIConsent.didChange", "2"}));
    EXPECT_EQ(observedOn, poster);
}

TEST(NotificationCenter, CancellingOrDroppingTheObservationOrTheCentreStopsDelivery) {
    int calls = 0;
    const auto count = [&](std::string_view) {
        ++calls;
    };
    NotificationCenter::Observation kept;
    {
        NotificationCenter center;
        auto cancelled = center.addObserver("n", count);
        {
            auto dropped = center.addObserver("n", count);
            center.post("n");
            EXPECT_EQ(calls, 2);
        }
        cancelled.cancel();
        EXPECT_FALSE(cancelled.isActive());
        center.post("n");
        EXPECT_EQ(calls, 2);

        kept = center.addObserver("n", count); // moved into an observation made earlier
        EXPECT_TRUE(kept.isActive());
        center.post("n");
        EXPECT_EQ(calls, 3);
    }
    // The observation outlives its centre.
    EXPECT_FALSE(kept.isActive());
    kept.cancel();
}

TEST(NotificationCenter, ObserversMayChangeObservationsWhileBeingNotified) {
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Observation later;
    NotificationCenter::Observation added;
    auto self = center.addObserver("n", [&](std::string_view) {
        calls.push_back("self");
        later.cancel(); // an observer cancelled during a post is not called in it
        added = center.addObserver("n", [&](std::string_view) { calls.push_back("added"); });
    });
    later = center.addObserver("n", [&](std::string_view) { calls.push_back("later"); });

    center.post("n");
    EXPECT_EQ(calls, std::vector<std::string>{"self"});
    self.cancel();
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"self", "added"}));
}
