#pragma once

// Checks an ingest body before anything is filed: the JSON types of every known key (400 when
// wrong) and the values the backend must understand (422 when unknown).

#include <capturekit/platform/json.hpp>

#include <optional>
#include <string>

namespace devbackend {

struct Rejection {
    int status = 400;
    std::string code{};
    std::string message{};
};

namespace ingest_request_check {

std::optional<Rejection> check(const capturekit::Json& body);

} // namespace ingest_request_check

} // namespace devbackend
