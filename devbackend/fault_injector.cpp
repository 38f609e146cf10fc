#include "fault_injector.hpp"

#include <algorithm>

namespace devbackend {

using capturekit::Json;
namespace json = capturekit::json;

namespace {

constexpr long long maximumDelayMilliseconds = 10 * 60 * 1000;

// A uniform draw in [0, 1) that is the same on every platform for the same seed.
double draw(std::mt19937_64& random) {
    return static_cast<double>(random() >> 11) * 0x1.0p-53;
}

std::expected<HttpReply, std::string> fixedReply(const Json& description, long long status) {
    if (status < 100 || status > 599) {
        return std::unexpected("\"status\" must lie between 100 and 599");
    }
    HttpReply reply{.status = static_cast<int>(status)};
    const Json* body = json::member(description, "body");
    if (body == nullptr) {
        reply.body = json::dump(Json{{"message", "injected fault " + std::to_string(status)}});
    } else {
        reply.body = body->is_string() ? body->get<std::string>() : json::dump(*body);
    }
    if (const Json* type = json::member(description, "content_type")) {
        if (!type->is_string() || type->get<std::string>().empty()) {
            return std::unexpected("\"content_type\" must be a non-empty string");
        }
        reply.contentType = type->get<std::string>();
    }
    if (const Json* headers = json::member(description, "headers")) {
        if (!headers->is_object()) {
            return std::unexpected("\"headers\" must be an object of strings");
        }
        for (const auto& [name, value] : headers->items()) {
            if (!value.is_string()) {
                return std::unexpected("\"headers\" must be an object of strings");
            }
            reply.headers.emplace_back(name, value.get<std::string>());
        }
    }
    return reply;
}

} // namespace

std::expected<Json, std::string> FaultInjector::add(const Json& description) {
    if (!description.is_object()) {
        return std::unexpected("the fault must be a JSON object");
    }
    Rule rule;
    const auto path = json::string(description, "path");
    if (!path || !path->starts_with("/")) {
        return std::unexpected("\"path\" must be a path starting with \"/\"");
    }
    rule.path = *path;
    rule.method = json::string(description, "method");
    const auto phase = json::string(description, "phase").value_or("before");
    if (phase != "before" && phase != "after") {
        return std::unexpected("\"phase\" must be \"before\" or \"after\"");
    }
    rule.phase = phase == "after" ? FaultPhase::afterHandling : FaultPhase::beforeHandling;
    if (json::boolean(description, "unlimited") != true) {
        const auto count = json::integer(description, "count").value_or(1);
        if (count < 1 || count > 1'000'000) {
            return std::unexpected("\"count\" must be a positive number of calls");
        }
        rule.remaining = static_cast<int>(count);
    }
    rule.probability = json::number(description, "probability").value_or(1.0);
    if (!(rule.probability > 0 && rule.probability <= 1)) {
        return std::unexpected("\"probability\" must lie above 0 and at most 1");
    }
    rule.seed = static_cast<std::uint64_t>(json::integer(description, "seed").value_or(0));
    rule.random.seed(rule.seed);
    const auto delay = json::integer(description, "delay_ms").value_or(0);
    if (delay < 0 || delay > maximumDelayMilliseconds) {
        return std::unexpected("\"delay_ms\" must lie between 0 and 600000");
    }
    rule.action.delay = std::chrono::milliseconds(delay);
    rule.action.drop = json::boolean(description, "drop").value_or(false);
    if (const auto status = json::integer(description, "status")) {
        if (rule.action.drop) {
            return std::unexpected("a fault either replies with \"status\" or drops, not both");
        }
        auto reply = fixedReply(description, *status);
        if (!reply) {
            return std::unexpected(reply.error());
        }
        rule.action.reply = std::move(*reply);
    }
    if (!rule.action.reply && !rule.action.drop && delay == 0) {
        return std::unexpected("a fault needs \"status\", \"drop\" or \"delay_ms\"");
    }
    const std::lock_guard lock(mutex_);
    rule.id = nextID_++;
    rules_.push_back(std::move(rule));
    return describe(rules_.back());
}

bool FaultInjector::matches(const Rule& rule, std::string_view method, std::string_view path,
                            FaultPhase phase) {
    if (rule.phase != phase || (rule.method && *rule.method != method)) {
        return false;
    }
    if (rule.path.ends_with('*')) {
        return path.starts_with(std::string_view(rule.path).substr(0, rule.path.size() - 1));
    }
    return path == rule.path;
}

std::optional<FaultAction> FaultInjector::take(std::string_view method, std::string_view path,
                                               FaultPhase phase) {
    const std::lock_guard lock(mutex_);
    const auto rule = std::find_if(rules_.begin(), rules_.end(), [&](const Rule& candidate) {
        return matches(candidate, method, path, phase);
    });
    if (rule == rules_.end()) {
        return std::nullopt;
    }
    ++rule->matched;
    const bool fires = rule->probability >= 1 || draw(rule->random) < rule->probability;
    std::optional<FaultAction> action;
    if (fires) {
        ++rule->fired;
        action = rule->action;
    }
    if (rule->remaining && --*rule->remaining == 0) {
        rules_.erase(rule);
    }
    return action;
}

Json FaultInjector::describe(const Rule& rule) {
    Json view{{"id", rule.id},
              {"path", rule.path},
              {"phase", rule.phase == FaultPhase::afterHandling ? "after" : "before"},
              {"remaining", rule.remaining ? Json(*rule.remaining) : Json(nullptr)},
              {"probability", rule.probability},
              {"seed", rule.seed},
              {"delay_ms", rule.action.delay.count()},
              {"drop", rule.action.drop},
              {"matched", rule.matched},
              {"fired", rule.fired}};
    if (rule.method) {
        view["method"] = *rule.method;
    }
    if (rule.action.reply) {
        view["status"] = rule.action.reply->status;
        view["body"] = rule.action.reply->body;
    }
    return view;
}

Json FaultInjector::list() const {
    const std::lock_guard lock(mutex_);
    Json rules = Json::array();
    for (const Rule& rule : rules_) {
        rules.push_back(describe(rule));
    }
    return rules;
}

void FaultInjector::clear() {
    const std::lock_guard lock(mutex_);
    rules_.clear();
}

} // namespace devbackend
