#include "ingest_request_check.hpp"

#include "vocabulary.hpp"

#include <capturekit/platform/base64.hpp>
#include <capturekit/platform/date_time.hpp>
#include <capturekit/platform/text.hpp>

#include <span>
#include <string_view>

namespace devbackend::ingest_request_check {

using capturekit::Json;
namespace json = capturekit::json;

namespace {

enum class Kind { string, stringArray, boolean, number, integer, object, objectArray };

struct Member {
    std::string_view key;
    Kind kind;
    bool required = false;
    std::span<const Member> members = {}; // of an object, or of each object in an array
};

constexpr Member ingredientMembers[] = {
    {"name", Kind::string, true},
    {"quantity", Kind::number},
    {"unit", Kind::string},
    {"note", Kind::string},
};
constexpr Member recipeMembers[] = {
    {"title", Kind::string, true},      {"source_url", Kind::string},
    {"image_url", Kind::string},        {"ingredients", Kind::objectArray, true, ingredientMembers},
    {"steps", Kind::stringArray, true}, {"servings", Kind::integer},
    {"total_minutes", Kind::integer},
};
constexpr Member vendorMembers[] = {
    {"name", Kind::string, true}, {"contact_name", Kind::string}, {"phone", Kind::string},
    {"email", Kind::string},      {"website", Kind::string},      {"notes", Kind::string},
};
constexpr Member groceryMembers[] = {
    {"name", Kind::string, true},
    {"quantity", Kind::number},
    {"unit", Kind::string},
};
constexpr Member socialIdentityMembers[] = {
    {"platform", Kind::string, true},
    {"handle", Kind::string, true},
};
constexpr Member bodyMembers[] = {
    {"destination", Kind::string},
    {"category", Kind::string},
    {"title", Kind::string},
    {"content", Kind::string, true},
    {"tags", Kind::stringArray, true},
    {"entry_type", Kind::string},
    {"screenshot", Kind::string},
    {"url", Kind::string},
    {"image_url", Kind::string},
    {"page_text", Kind::string},
    {"audio_path", Kind::string},
    {"transcription_engine", Kind::string},
    {"person_id", Kind::string},
    {"person_name", Kind::string},
    {"rapport_avatar", Kind::boolean},
    {"route_rung", Kind::string},
    {"social_identity", Kind::object, false, socialIdentityMembers},
    {"audio_mime", Kind::string},
    {"audio_duration_seconds", Kind::number},
    {"audio_expires_at", Kind::string},
    {"recipe", Kind::object, false, recipeMembers},
    {"hearth_kind", Kind::string},
    {"grocery_items", Kind::objectArray, false, groceryMembers},
    {"create_person", Kind::boolean},
    {"vendor", Kind::object, false, vendorMembers},
    {"attachments", Kind::stringArray},
    {"ai_opt_out", Kind::boolean},
    {"source_type", Kind::string},
    {"source_app", Kind::string},
    {"source_ref", Kind::string},
    {"device", Kind::string},
    {"make_task", Kind::boolean},
    {"task_kind", Kind::string},
    {"task_due", Kind::string},
};

std::string_view kindName(Kind kind) {
    switch (kind) {
    case Kind::string:
        return "a string";
    case Kind::stringArray:
        return "an array of strings";
    case Kind::boolean:
        return "a boolean";
    case Kind::number:
        return "a number";
    case Kind::integer:
        return "an integer";
    case Kind::object:
        return "an object";
    case Kind::objectArray:
        return "an array of objects";
    }
    return "valid";
}

bool allOf(const Json& array, bool (Json::*test)() const noexcept) {
    for (const Json& element : array) {
        if (!(element.*test)()) {
            return false;
        }
    }
    return true;
}

bool hasKind(const Json& value, Kind kind) {
    switch (kind) {
    case Kind::string:
        return value.is_string();
    case Kind::stringArray:
        return value.is_array() && allOf(value, &Json::is_string);
    case Kind::boolean:
        return value.is_boolean();
    case Kind::number:
        return value.is_number();
    case Kind::integer:
        return value.is_number_integer();
    case Kind::object:
        return value.is_object();
    case Kind::objectArray:
        return value.is_array() && allOf(value, &Json::is_object);
    }
    return false;
}

Rejection malformed(std::string message) {
    return Rejection{400, "invalid_body", std::move(message)};
}

Rejection unprocessable(std::string code, std::string message) {
    return Rejection{422, std::move(code), std::move(message)};
}

std::optional<Rejection> checkMembers(const Json& object, std::span<const Member> members,
                                      const std::string& prefix) {
    for (const Member& member : members) {
        const std::string name = prefix + std::string(member.key);
        const Json* value = json::member(object, member.key);
        if (value == nullptr) {
            if (member.required) {
                return malformed("\"" + name + "\" is required");
            }
            continue;
        }
        if (!hasKind(*value, member.kind)) {
            return malformed("\"" + name + "\" must be " + std::string(kindName(member.kind)));
        }
        if (member.kind == Kind::object) {
            if (auto rejection = checkMembers(*value, member.members, name + ".")) {
                return rejection;
            }
        }
        if (member.kind == Kind::objectArray) {
            for (std::size_t i = 0; i < value->size(); ++i) {
                const std::string element = name + "[" + std::to_string(i) + "].";
                if (auto rejection = checkMembers((*value)[i], member.members, element)) {
                    return rejection;
                }
            }
        }
    }
    return std::nullopt;
}

bool isImageDataURI(std::string_view uri) {
    constexpr std::string_view marker = ";base64,";
    const std::size_t at = uri.find(marker);
    return uri.starts_with("data:image/") && at != std::string_view::npos &&
           at + marker.size() < uri.size() &&
           capturekit::base64::decode(uri.substr(at + marker.size())).has_value();
}

std::optional<Rejection> checkImages(const Json& body) {
    if (auto screenshot = json::string(body, "screenshot");
        screenshot && !isImageDataURI(*screenshot)) {
        return unprocessable("invalid_image", "\"screenshot\" is not an image data URI");
    }
    for (const std::string& attachment :
         json::stringArray(body, "attachments").value_or(std::vector<std::string>{})) {
        if (!isImageDataURI(attachment)) {
            return unprocessable("invalid_image", "an attachment is not an image data URI");
        }
    }
    return std::nullopt;
}

std::optional<Rejection> checkVocabulary(const Json& body) {
    const auto destination = json::string(body, "destination");
    if (destination && !vocabulary::contains(vocabulary::destinations, *destination)) {
        return unprocessable("unknown_destination", "unknown destination \"" + *destination + "\"");
    }
    if (const auto category = json::string(body, "category")) {
        if (!vocabulary::contains(vocabulary::cabinetCategories, *category)) {
            return unprocessable("unknown_category", "unknown category \"" + *category + "\"");
        }
        if (destination != "cabinet") {
            return unprocessable("category_without_cabinet",
                                 "a category is only filed with the cabinet destination");
        }
    }
    if (const auto kind = json::string(body, "task_kind");
        kind && !vocabulary::contains(vocabulary::taskKinds, *kind)) {
        return unprocessable("unknown_task_kind", "unknown task kind \"" + *kind + "\"");
    }
    for (std::string_view key : {"task_due", "audio_expires_at"}) {
        if (const auto date = json::string(body, key);
            date && !capturekit::dates::parseISO8601(*date)) {
            return unprocessable("invalid_date",
                                 "\"" + std::string(key) + "\" is not an ISO 8601 date-time");
        }
    }
    return std::nullopt;
}

bool hasSomethingToFile(const Json& body) {
    for (std::string_view key : {"screenshot", "url", "image_url", "page_text", "audio_path",
                                 "recipe", "vendor", "social_identity"}) {
        if (json::member(body, key) != nullptr) {
            return true;
        }
    }
    for (std::string_view key : {"attachments", "grocery_items"}) {
        if (const Json* list = json::member(body, key); list != nullptr && !list->empty()) {
            return true;
        }
    }
    return !capturekit::text::isBlank(json::string(body, "content").value_or("")) ||
           !capturekit::text::isBlank(json::string(body, "title").value_or(""));
}

} // namespace

std::optional<Rejection> check(const Json& body) {
    if (!body.is_object()) {
        return malformed("the body must be a JSON object");
    }
    if (auto rejection = checkMembers(body, bodyMembers, "")) {
        return rejection;
    }
    if (auto rejection = checkVocabulary(body)) {
        return rejection;
    }
    if (auto rejection = checkImages(body)) {
        return rejection;
    }
    if (!hasSomethingToFile(body)) {
        return unprocessable("empty_capture", "the capture has nothing to file");
    }
    return std::nullopt;
}

} // namespace devbackend::ingest_request_check
