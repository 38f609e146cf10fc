#pragma once

// The router's answer: where a capture should go, how sure it is, and which rung decided.

#include <capturekit/model/destination.hpp>
#include <capturekit/model/person_match.hpp>
#include <capturekit/model/raw_value.hpp>

#include <optional>
#include <string>

namespace capturekit {

struct RouteDecision {
    enum class State { confident, unsure };
    enum class Rung { explicitSurface, explicitTag, dictationCue, contentInference, floor };

    Destination destination = Destination::stash;
    double confidence = 0;
    std::string reason;
    std::optional<PersonMatch> person;
    State state = State::unsure;
    Rung rung = Rung::floor;

    // The user or the surface chose the destination.
    static bool isExplicitChoice(Rung rung) {
        return rung == Rung::explicitSurface || rung == Rung::explicitTag;
    }
    bool isExplicitChoice() const { return isExplicitChoice(rung); }

    // Stash, confidence 0, no person, unsure, decided by the floor rung.
    static RouteDecision floor(std::string reason);

    bool operator==(const RouteDecision&) const = default;
};

template <> struct RawValues<RouteDecision::State> {
    static constexpr std::array<std::string_view, 2> names{"confident", "unsure"};
};

template <> struct RawValues<RouteDecision::Rung> {
    static constexpr std::array<std::string_view, 5> names{
        "explicitSurface", "explicitTag", "dictationCue", "contentInference", "floor"};
};

} // namespace capturekit
