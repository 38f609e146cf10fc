#pragma once

// The body posted to the backend's ingest function, and stored as is in the outbox when it cannot
// be sent. Every field except `content` and `tags` is optional; absent fields are left out of the
// JSON, which has 34 fixed snake_case keys in a fixed order.

#include <capturekit/model/cabinet_category.hpp>
#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/destination.hpp>
#include <capturekit/model/grocery_item.hpp>
#include <capturekit/model/recipe_payload.hpp>
#include <capturekit/model/social_identity_payload.hpp>
#include <capturekit/model/task_kind.hpp>
#include <capturekit/model/vendor_payload.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

struct CaptureIngestRequest {
    // The most further images a capture carries.
    static constexpr int maxAttachments = 8;

    // The arguments of the normalising constructor, to be named with designated initializers:
    //   CaptureIngestRequest({.destination = Destination::docket, .content = text, .tags = {}})
    struct Arguments {
        std::optional<Destination> destination{};
        std::optional<CabinetCategory> category{};
        std::optional<std::string> title{};
        std::string content{};
        std::vector<std::string> tags{};
        std::optional<std::string> entryType{};
        std::optional<std::string> screenshot{};
        std::optional<std::string> url{};
        std::optional<std::string> imageURL{};
        std::optional<std::string> pageText{};
        std::optional<std::string> audioPath{};
        std::optional<std::string> transcriptionEngine{};
        std::optional<std::string> personID{};
        std::optional<std::string> personName{};
        std::optional<bool> rapportAvatar{};
        std::optional<std::string> routeRung{};
        std::optional<SocialIdentityPayload> socialIdentity{};
        std::optional<std::string> audioMime{};
        std::optional<double> audioDurationSeconds{};
        std::optional<std::string> audioExpiresAt{};
        std::optional<RecipePayload> recipe{};
        std::optional<std::string> hearthKind{};
        std::optional<std::vector<GroceryItem>> groceryItems{};
        std::optional<bool> createPerson{};
        std::optional<VendorPayload> vendor{};
        std::optional<std::vector<std::string>> attachments{};
        std::optional<bool> aiOptOut{};
        std::optional<std::string> sourceType{};
        std::optional<std::string> sourceApp{};
        std::optional<std::string> sourceRef{};
        std::optional<std::string> device{};
        bool makeTask = false;
        std::optional<TaskKind> taskKind{};
        std::optional<Date> taskDue{};
    };

    std::optional<std::string> destination{};
    // Only ever present together with the destination "cabinet".
    std::optional<std::string> category{};
    std::optional<std::string> title{};
    std::string content{};
    std::vector<std::string> tags{};
    std::optional<std::string> entryType{};
    std::optional<std::string> screenshot{};
    std::optional<std::string> url{};
    std::optional<std::string> imageURL{};
    std::optional<std::string> pageText{};
    std::optional<std::string> audioPath{};
    std::optional<std::string> transcriptionEngine{};
    std::optional<std::string> personID{};
    std::optional<std::string> personName{};
    std::optional<bool> rapportAvatar{};
    // "explicit" or "inferred".
    std::optional<std::string> routeRung{};
    std::optional<SocialIdentityPayload> socialIdentity{};
    std::optional<std::string> audioMime{};
    std::optional<double> audioDurationSeconds{};
    // ISO 8601, UTC, "Z", no fraction.
    std::optional<std::string> audioExpiresAt{};
    std::optional<RecipePayload> recipe{};
    std::optional<std::string> hearthKind{};
    // An empty list is written as [], unlike an absent one.
    std::optional<std::vector<GroceryItem>> groceryItems{};
    std::optional<bool> createPerson{};
    std::optional<VendorPayload> vendor{};
    std::optional<std::vector<std::string>> attachments{};
    std::optional<bool> aiOptOut{};
    std::optional<std::string> sourceType{};
    std::optional<std::string> sourceApp{};
    std::optional<std::string> sourceRef{};
    std::optional<std::string> device{};
    std::optional<bool> makeTask{};
    std::optional<std::string> taskKind{};
    // ISO 8601, UTC, "Z", no fraction.
    std::optional<std::string> taskDue{};

    CaptureIngestRequest() = default;
    // Takes typed values and normalises them: the category stays only with the destination
    // cabinet, and the task fields are written only when a task is asked for and the destination
    // is not docket (a docket capture is a task already). The flags rapportAvatar, createPerson
    // and aiOptOut pass through as given.
    explicit CaptureIngestRequest(Arguments arguments);

    // The JSON object with its keys in their fixed order. Fails on a number that JSON cannot hold.
    std::expected<OrderedJson, CodingError> toJson() const;
    // The compact JSON text of `toJson()`.
    std::expected<std::string, CodingError> encoded() const;

    // Accepts the same keys; only "content" and "tags" are required. A value of the wrong type
    // fails the whole request.
    static std::expected<CaptureIngestRequest, CodingError> fromJson(const Json& json);
    static std::expected<CaptureIngestRequest, CodingError> decode(std::string_view text);

    bool operator==(const CaptureIngestRequest&) const = default;
};

} // namespace capturekit
