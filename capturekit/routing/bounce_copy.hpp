#pragma once

// What a person is told when a capture landed somewhere other than where it was asked to go.

#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/model/capture_ingest_request.hpp>
#include <capturekit/model/destination.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace capturekit::BounceCopy {

inline constexpr std::string_view noRecipe =
    "No recipe content found. Saved to stash for adding and passing to hearth.";
inline constexpr std::string_view vendorNotFiled =
    "Saved to stash — hearth couldn’t file it as a vendor. Send it on from stash.";

std::string message(Destination asked, Destination landed, bool hasRecipe,
                    const std::optional<std::string>& hearthKind, bool hasGroceries,
                    bool hasVendor);
std::string message(Destination asked, Destination landed, const CaptureIngestRequest& request);
// The route outcome's failure or not-live state speaks first.
std::string message(Destination asked, Destination landed, const CaptureIngestRequest& request,
                    const std::optional<RouteOutcome>& route);

} // namespace capturekit::BounceCopy
