#pragma once

// Where the ingest function files a capture, and what it answers:
// - without a destination the backend classifies the capture (never when the user opted out of
//   AI); only a sure classification into tasks, collections or the household leaves stash;
// - pulse is not live: the capture is filed to stash and the route says "not_live";
// - hearth needs a recipe, a kind or groceries, else the capture is filed to stash;
// - an avatar for a person the user does not have is parked for review;
// - a destination whose app the user switched off is filed to stash.

#include "ingest_request_check.hpp"
#include "known_people.hpp"

#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace devbackend {

struct RouteOutcome {
    std::string state{}; // "written", "failed", "not_live", "disabled"
    std::string destination{};
    std::optional<std::string> code{};
    std::optional<std::string> error{};
};

struct FilingDecision {
    std::string status{}; // "filed" or "parked_for_review"
    std::string destination{};
    std::optional<std::string> category{};
    std::optional<RouteOutcome> route{};
};

struct FilingContext {
    std::set<std::string> disabledAppKeys{};
    std::vector<Person> people{};
};

namespace filing_rules {

// For a body that passed the ingest request check.
std::expected<FilingDecision, Rejection> decide(const capturekit::Json& body,
                                                const FilingContext& context);
capturekit::Json reply(const std::string& entryID, const FilingDecision& decision);

} // namespace filing_rules

} // namespace devbackend
