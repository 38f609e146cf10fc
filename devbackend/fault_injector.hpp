#pragma once

// Faults for the next calls of a path, so clients can be tested against a failing backend: a
// fixed reply, a delay, or a connection closed without a reply, each before the request is
// handled or after it (the capture is filed, the reply is lost). A probability with a seed
// makes a repeatable share of the calls fail.

#include "http_reply.hpp"

#include <capturekit/platform/json.hpp>

#include <chrono>
#include <cstdint>
#include <expected>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace devbackend {

enum class FaultPhase { beforeHandling, afterHandling };

struct FaultAction {
    std::chrono::milliseconds delay{0};
    std::optional<HttpReply> reply; // given instead of the real reply
    bool drop = false;              // close the connection without replying
};

class FaultInjector {
public:
    // Adds a rule described as {"path", "method", "count" | "unlimited", "phase", "status",
    // "body", "content_type", "headers", "delay_ms", "drop", "probability", "seed"}. Gives the
    // rule as listed, or why the description is refused.
    std::expected<capturekit::Json, std::string> add(const capturekit::Json& description);
    // The action for this call, using up one call of the first rule that matches it.
    std::optional<FaultAction> take(std::string_view method, std::string_view path,
                                    FaultPhase phase);
    capturekit::Json list() const;
    void clear();

private:
    struct Rule {
        int id = 0;
        std::string path; // a trailing "*" matches any rest
        std::optional<std::string> method;
        FaultPhase phase = FaultPhase::beforeHandling;
        std::optional<int> remaining; // absent: unlimited
        double probability = 1;
        std::uint64_t seed = 0;
        std::mt19937_64 random;
        FaultAction action;
        int matched = 0;
        int fired = 0;
    };

    static bool matches(const Rule& rule, std::string_view method, std::string_view path,
                        FaultPhase phase);
    static capturekit::Json describe(const Rule& rule);

    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    int nextID_ = 1;
};

} // namespace devbackend
