#pragma once

// Links from a capture into the suite's web app.

#include <capturekit/account/capture_environment.hpp>
#include <capturekit/delivery/recent_capture.hpp>

#include <optional>
#include <string>

namespace capturekit::CaptureLinks {

// The destination's web-app page, deepened to the entry (stash, trove) or the cabinet category
// when those are known and safe to put in a path.
std::optional<std::string> url(Destination destination, const std::optional<std::string>& entryID,
                               const std::optional<std::string>& category);
std::optional<std::string> url(const RecentCapture& recent);
// The same for a given environment.
std::optional<std::string> url(const CaptureEnvironment& environment, Destination destination,
                               const std::optional<std::string>& entryID,
                               const std::optional<std::string>& category);

// The web path segment of a cabinet category (any letter case); absent for an unknown one.
std::optional<std::string_view> cabinetPathSegment(std::string_view category);

} // namespace capturekit::CaptureLinks
