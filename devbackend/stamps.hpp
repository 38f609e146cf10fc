#pragma once

// The identifiers and times stamped on stored rows and tokens.

#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/text.hpp>
#include <capturekit/platform/uuid.hpp>

#include <cmath>
#include <cstdint>
#include <string>

namespace devbackend::stamps {

// A random UUID in lower case, as the backend writes its ids.
inline std::string newID() {
    return capturekit::text::lowercased(capturekit::makeUUIDString());
}

// "2026-03-01T09:30:00Z"
inline std::string now() {
    return capturekit::dates::iso8601(capturekit::dates::now());
}

// Whole seconds since 1970, as tokens carry them.
inline std::int64_t secondsNow() {
    return static_cast<std::int64_t>(
        std::floor(capturekit::dates::secondsSince1970(capturekit::dates::now())));
}

} // namespace devbackend::stamps
