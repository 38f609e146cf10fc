#include <capturekit/platform/notification_center.hpp>

#include <gtest/gtest.h>

#include <thread>

using namespace capturekit;

TEST(NotificationCenter, ObserversOfANameRunInOrderAndOnlyForThatName) {
    NotificationCenter center;
    std::vector<std::string> calls;
    auto first = center.addObserver("AIConsent.didChange", [&](std::string_view name) {
        calls.push_back("1 " + std::string(name));
    });
    auto second =
        center.addObserver("AIConsent.didChange", [&](std::string_view) { calls.push_back("2"); });
    auto other = center.addObserver("AIConsent.needsDecision",
                                    [&](std::string_view) { calls.push_back("other"); });

    center.post("AIConsent.didChange");
    center.post("nobody listens");
    EXPECT_EQ(calls, (std::vector<std::string>{"1 AIConsent.didChange", "2"}));
}

TEST(NotificationCenter, CancellingOrDroppingTheObservationStopsDelivery) {
    NotificationCenter center;
    int calls = 0;
    auto cancelled = center.addObserver("n", [&](std::string_view) { ++calls; });
    {
        auto dropped = center.addObserver("n", [&](std::string_view) { ++calls; });
        center.post("n");
        EXPECT_EQ(calls, 2);
    }
    cancelled.cancel();
    EXPECT_FALSE(cancelled.isActive());
    center.post("n");
    EXPECT_EQ(calls, 2);

    auto moved = center.addObserver("n", [&](std::string_view) { ++calls; });
    NotificationCenter::Observation kept = std::move(moved);
    EXPECT_TRUE(kept.isActive());
    center.post("n");
    EXPECT_EQ(calls, 3);
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

TEST(NotificationCenter, ObserversRunOnThePostingThread) {
    NotificationCenter center;
    std::thread::id observedOn;
    auto observation =
        center.addObserver("n", [&](std::string_view) { observedOn = std::this_thread::get_id(); });
    std::thread::id poster;
    std::thread([&] {
        poster = std::this_thread::get_id();
        center.post("n");
    }).join();
    EXPECT_EQ(observedOn, poster);
}

TEST(NotificationCenter, AnObservationMayOutliveItsCentre) {
    int calls = 0;
    NotificationCenter::Observation observation;
    {
        NotificationCenter center;
        observation = center.addObserver("n", [&](std::string_view) { ++calls; });
        center.post("n");
    }
    EXPECT_FALSE(observation.isActive());
    observation.cancel();
    EXPECT_EQ(calls, 1);
}
