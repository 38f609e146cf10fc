#include "filing_rules.hpp"

#include "suggest_rules.hpp"
#include "vocabulary.hpp"

#include <capturekit/platform/text.hpp>

namespace devbackend::filing_rules {

using capturekit::Json;
namespace json = capturekit::json;

namespace {

constexpr double classificationThreshold = 0.75;

RouteOutcome written(const std::string& destination) {
    return RouteOutcome{"written", destination, std::nullopt, std::nullopt};
}

FilingDecision filed(const std::string& destination, std::optional<std::string> category) {
    return FilingDecision{"filed", destination, std::move(category), written(destination)};
}

FilingDecision stashedInstead(RouteOutcome route) {
    return FilingDecision{"filed", "stash", std::nullopt, std::move(route)};
}

// The destination the backend picks for a capture sent without one.
FilingDecision classified(const Json& body, const FilingContext& context) {
    if (json::boolean(body, "ai_opt_out") == true) {
        return filed("stash", std::nullopt);
    }
    SuggestInput input{json::string(body, "content").value_or(""), json::string(body, "url"),
                       json::member(body, "screenshot") != nullptr,
                       json::stringArray(body, "tags").value_or(std::vector<std::string>{})};
    const Classification classification = suggest_rules::classify(input, context.people);
    const bool sure = classification.confidence >= classificationThreshold;
    if (sure && classification.destination == "docket") {
        return filed("docket", std::nullopt);
    }
    if (sure && classification.destination == "cabinet") {
        return filed("cabinet", classification.cabinetCategory);
    }
    if (sure && classification.destination == "hearth") {
        if (classification.hearthKind) {
            return filed("hearth", classification.hearthKind);
        }
        if (!classification.groceries.empty()) {
            return filed("hearth", "groceries");
        }
    }
    return filed("stash", std::nullopt);
}

std::optional<std::string> hearthCategory(const Json& body) {
    if (auto kind =
            capturekit::text::trimmedNonEmpty(json::string(body, "hearth_kind").value_or(""))) {
        return kind;
    }
    if (json::member(body, "recipe") != nullptr) {
        return "recipe";
    }
    if (json::member(body, "grocery_items") != nullptr) {
        return "groceries";
    }
    return std::nullopt;
}

std::expected<FilingDecision, Rejection> avatar(const Json& body, const FilingContext& context) {
    const auto destination = json::string(body, "destination");
    if (destination && *destination != "rapport") {
        return std::unexpected(
            Rejection{422, "avatar_outside_rapport", "an avatar can only be filed to rapport"});
    }
    if (json::member(body, "screenshot") == nullptr) {
        return std::unexpected(
            Rejection{422, "avatar_without_image", "an avatar needs a screenshot"});
    }
    if (!KnownPeople::match(context.people, json::string(body, "person_id"),
                            json::string(body, "person_name"))) {
        return FilingDecision{"parked_for_review", "rapport", "avatar", std::nullopt};
    }
    return filed("rapport", "avatar");
}

FilingDecision addressed(const Json& body, const std::string& destination) {
    if (destination == "pulse") {
        return stashedInstead(
            RouteOutcome{"not_live", "pulse", "not_live", "pulse is not taking captures yet"});
    }
    if (destination == "hearth") {
        if (auto category = hearthCategory(body)) {
            return filed("hearth", category);
        }
        return stashedInstead(RouteOutcome{"failed", "hearth", "hearth_unclassified",
                                           "hearth needs a recipe, a kind or groceries"});
    }
    return filed(destination, json::string(body, "category"));
}

} // namespace

std::expected<FilingDecision, Rejection> decide(const Json& body, const FilingContext& context) {
    std::expected<FilingDecision, Rejection> decision;
    if (json::boolean(body, "rapport_avatar") == true) {
        decision = avatar(body, context);
    } else if (const auto destination = json::string(body, "destination")) {
        decision = addressed(body, *destination);
    } else {
        decision = classified(body, context);
    }
    if (!decision || decision->destination == "stash") {
        return decision;
    }
    const std::string appKey(vocabulary::appKey(decision->destination));
    if (context.disabledAppKeys.contains(appKey)) {
        return stashedInstead(RouteOutcome{"disabled", decision->destination, "app_disabled",
                                           appKey + " is switched off for this account"});
    }
    return decision;
}

Json reply(const std::string& entryID, const FilingDecision& decision) {
    Json body{{"id", entryID}, {"status", decision.status}, {"destination", decision.destination}};
    if (decision.category) {
        body["category"] = *decision.category;
    }
    if (decision.route) {
        Json route{{"state", decision.route->state}, {"destination", decision.route->destination}};
        if (decision.route->code) {
            route["code"] = *decision.route->code;
        }
        if (decision.route->error) {
            route["error"] = *decision.route->error;
        }
        body["route"] = route;
    }
    return body;
}

} // namespace devbackend::filing_rules
