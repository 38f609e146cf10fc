#pragma once

// Builds the ingest request of one routed capture from the item, the router's decision and the
// suggestion, and tells which household kind a capture evidently has.

#include <capturekit/model/cabinet_category.hpp>
#include <capturekit/model/capture_ingest_request.hpp>
#include <capturekit/model/capture_item.hpp>
#include <capturekit/model/hearth_kind.hpp>
#include <capturekit/model/suggestion.hpp>
#include <capturekit/model/task_kind.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/routing/route_decision.hpp>

#include <optional>
#include <string>

namespace capturekit {

namespace CaptureRequestBuilder {

// What the caller decides beyond the route; name them with designated initializers.
struct Choices {
    std::optional<CabinetCategory> category{};
    std::optional<HearthKind> hearthKind{};
    bool makeTask = false;
    std::optional<TaskKind> taskKind{};
    std::optional<Date> taskDue{};
    bool rapportAvatar = false;
    bool userChoseDestination = false;
    std::optional<std::string> device{};
};

CaptureIngestRequest build(const RouteDecision& decision, const CaptureItem& item,
                           const std::optional<Suggestion>& suggestion,
                           const Choices& choices = {});

} // namespace CaptureRequestBuilder

namespace hearthKinds {

// A contact card means a vendor, recipe data a recipe; else the item's, then the suggestion's
// "recipe" or "vendor"; else none.
std::optional<HearthKind> known(const CaptureItem& item,
                                const std::optional<Suggestion>& suggestion);

} // namespace hearthKinds

} // namespace capturekit
