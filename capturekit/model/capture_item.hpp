#pragma once

// What a surface hands to the capture engine: the raw material of one capture, before routing.
// Stored on the device as JSON with the field names as keys and dates as seconds since
// 2001-01-01 00:00:00 UTC.

#include <capturekit/model/capture_surface.hpp>
#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/contact_card.hpp>
#include <capturekit/model/recipe_data.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace capturekit {

struct CaptureItem {
    // Required: text, isDictation, surface and tags (name them when building an item).
    std::string text{};
    std::optional<std::string> url{};
    std::optional<std::string> title{};
    std::optional<std::string> pageText{};
    std::optional<std::string> imageURL{};
    // The main image as a data URI.
    std::optional<std::string> screenshotDataURI{};
    // Further images as data URIs.
    std::vector<std::string> extraScreenshots{};
    // The images form one capture rather than separate ones.
    bool keepImagesTogether = true;
    std::optional<std::string> audioPath{};
    std::optional<std::string> transcriptionEngine{};
    std::optional<double> audioDurationSeconds{};
    std::optional<Date> audioExpiresAt{};
    std::optional<RecipeData> recipe{};
    // A household kind proposed by the surface ("recipe" or "vendor").
    std::optional<std::string> hearthKind{};
    std::optional<ContactCard> contact{};
    bool isDictation = false;
    CaptureSurface surface = CaptureSurface::universalShare;
    std::vector<std::string> tags{};
    std::optional<std::string> sourceApp{};
    // A source type proposed by the surface, overriding the derived one.
    std::optional<std::string> sourceTypeHint{};

    // Fails on a duration that is not a finite number.
    std::expected<OrderedJson, CodingError> toJson() const;
    // text, extraScreenshots, keepImagesTogether, isDictation, surface and tags must be present.
    static std::expected<CaptureItem, CodingError> fromJson(const Json& json);

    bool operator==(const CaptureItem&) const = default;
};

} // namespace capturekit
