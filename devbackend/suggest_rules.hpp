#pragma once

// The backend's classification of a capture: deterministic rules over its text, link, tags and
// the people the user already knows. The suggest function replies with it, and the ingest
// function uses it for captures sent without a destination.

#include "known_people.hpp"

#include <capturekit/platform/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace devbackend {

struct SuggestInput {
    std::string content{};
    std::optional<std::string> url{};
    bool hasImage = false;
    std::vector<std::string> tags{};
};

struct GroceryLine {
    std::string name{};
    std::optional<double> quantity{};
    std::optional<std::string> unit{};
};

struct Classification {
    std::string destination{};
    double confidence = 0;
    std::string reason{};
    std::string entryType{};
    std::optional<std::string> hearthKind{};
    std::optional<std::string> cabinetCategory{};
    std::optional<std::string> hintDestination{};
    std::vector<std::string> personNames{};
    std::optional<Person> personMatch{};
    std::vector<GroceryLine> groceries{};
};

namespace suggest_rules {

Classification classify(const SuggestInput& input, const std::vector<Person>& people);
// The suggestion reply: the classification with a title and the cleaned-up text.
capturekit::Json reply(const Classification& classification, const SuggestInput& input);
capturekit::Json groceriesJson(const std::vector<GroceryLine>& groceries);

} // namespace suggest_rules

} // namespace devbackend
