#pragma once

// The surface a capture came from. Raw values are camel-case words.

#include <capturekit/model/destination.hpp>
#include <capturekit/model/raw_value.hpp>

#include <array>
#include <optional>
#include <string_view>

namespace capturekit {

enum class CaptureSurface {
    universalShare,
    rapportShare,
    captureIntent,
    composer,
    rapportNoteIntent,
    reflectIntent,
    quickTaskWidget,
    captureGrab,
    voiceCapture,
};

template <> struct RawValues<CaptureSurface> {
    static constexpr std::array<std::string_view, 9> names{
        "universalShare", "rapportShare",    "captureIntent", "composer",    "rapportNoteIntent",
        "reflectIntent",  "quickTaskWidget", "captureGrab",   "voiceCapture"};
};

// The destination the surface itself fixes, whatever the capture says; absent when the surface
// leaves the choice to routing.
std::optional<Destination> explicitDestination(CaptureSurface surface);

} // namespace capturekit
