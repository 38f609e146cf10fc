#pragma once

// Carries one capture from a surface to the backend in one call: asks for a suggestion, routes,
// builds the request, sends it with a fresh idempotency key, and words the outcome. A capture that
// cannot be delivered for a passing reason is kept in the outbox with that key.

#include <capturekit/account/platform_words.hpp>
#include <capturekit/delivery/capture_client.hpp>
#include <capturekit/delivery/suggest_client.hpp>
#include <capturekit/model/capture_item.hpp>
#include <capturekit/model/destination.hpp>

#include <optional>
#include <stop_token>
#include <string>

namespace capturekit {

struct CaptureOutcome {
    bool success = false; // delivered, or safely queued
    Destination destination = Destination::stash;
    std::string message;

    bool operator==(const CaptureOutcome&) const = default;
};

namespace DeviceInfo {
// The device name the command-line capture actions send.
inline constexpr std::string_view name = PlatformWords::deviceName;
} // namespace DeviceInfo

namespace CaptureEngine {

CaptureOutcome capture(const CaptureItem& item, const CaptureClient& client,
                       const SuggestClient* suggestClient,
                       const std::optional<std::string>& deviceName, std::stop_token stop = {});

} // namespace CaptureEngine

} // namespace capturekit
