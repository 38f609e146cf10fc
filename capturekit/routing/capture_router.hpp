#pragma once

// Decides on the device which destination a capture is meant for: a fixed ladder tried from the
// most explicit evidence to the weakest (surface, tag, contact card, phrase cues, the suggestion
// service's inference), ending at the floor where nothing is lost. Pure and cheap: no input or
// output, and no allocation beyond the reason text.

#include <capturekit/model/capture_item.hpp>
#include <capturekit/model/suggestion.hpp>
#include <capturekit/routing/route_decision.hpp>

#include <optional>

namespace capturekit::CaptureRouter {

inline constexpr double inferenceThreshold = 0.6;

RouteDecision route(const CaptureItem& item, const std::optional<Suggestion>& suggestion);

} // namespace capturekit::CaptureRouter
