#pragma once

// Recognises a Google Maps place link. Hosts: maps.app.goo.gl, goo.gl, share.google,
// maps.google.com (any path), and google.com / www.google.com under /maps, /search or
// /share.google.

#include <optional>
#include <string>

namespace capturekit::GooglePlaceLink {

bool matches(const std::optional<std::string>& text);

} // namespace capturekit::GooglePlaceLink
