#include <capturekit/delivery/idempotency_key.hpp>

#include <capturekit/platform/crypto.hpp>

#include <algorithm>
#include <chrono>

namespace capturekit::IdempotencyKey {

namespace {

constexpr std::size_t hashDigits = 32;

} // namespace

std::string selection(std::string_view text, Date now, std::int64_t bucketSeconds) {
    const std::int64_t seconds =
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    const std::int64_t bucket = seconds / std::max<std::int64_t>(bucketSeconds, 1);
    return "selection-" + crypto::sha256Hex(text).substr(0, hashDigits) + "-" +
           std::to_string(bucket);
}

} // namespace capturekit::IdempotencyKey
