#include <capturekit/model/capture_surface.hpp>

namespace capturekit {

std::optional<Destination> explicitDestination(CaptureSurface surface) {
    switch (surface) {
    case CaptureSurface::rapportShare:
    case CaptureSurface::rapportNoteIntent:
        return Destination::rapport;
    case CaptureSurface::reflectIntent:
        return Destination::bloom;
    case CaptureSurface::quickTaskWidget:
        return Destination::docket;
    case CaptureSurface::universalShare:
    case CaptureSurface::captureIntent:
    case CaptureSurface::composer:
    case CaptureSurface::captureGrab:
    case CaptureSurface::voiceCapture:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace capturekit
