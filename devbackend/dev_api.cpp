#include "dev_api.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

#include <map>

namespace devbackend {

using capturekit::Json;
namespace json = capturekit::json;

namespace {

constexpr std::string_view prefix = "/__dev/";
constexpr std::size_t defaultRequestLimit = 100;

HttpReply failure(int status, std::string_view message) {
    return HttpReply::json(status, Json{{"error", message}});
}

HttpReply methodNotAllowed() {
    return failure(405, "method not allowed");
}

std::vector<std::string> segmentsOf(std::string_view path) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            segments.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return segments;
}

std::optional<Json> bodyJson(const httplib::Request& request) {
    return json::parse(request.body);
}

Json optionalJson(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json entryJson(const Entry& entry) {
    return Json{{"id", entry.id},
                {"device_id", optionalJson(entry.deviceID)},
                {"requested_destination", optionalJson(entry.requestedDestination)},
                {"destination", entry.destination},
                {"category", optionalJson(entry.category)},
                {"status", entry.status},
                {"route_state", optionalJson(entry.routeState)},
                {"idempotency_key", optionalJson(entry.idempotencyKey)},
                {"created_at", entry.createdAt},
                {"body", json::parse(entry.body).value_or(Json(entry.body))}};
}

Json deviceJson(const Device& device) {
    return Json{{"id", device.id},
                {"name", optionalJson(device.name)},
                {"source", optionalJson(device.source)},
                {"token_hash", device.tokenHash},
                {"created_at", device.createdAt},
                {"last_used_at", optionalJson(device.lastUsedAt)}};
}

} // namespace

HttpReply DevApi::handle(const httplib::Request& request) {
    const auto segments = segmentsOf(std::string_view(request.path).substr(prefix.size()));
    if (segments.empty()) {
        return failure(404, "unknown development endpoint");
    }
    if (segments[0] == "health" && segments.size() == 1) {
        return request.method == "GET" ? HttpReply::json(200, Json{{"status", "ok"}})
                                       : methodNotAllowed();
    }
    if (segments[0] == "users") {
        return users(request, segments);
    }
    if (segments[0] == "requests" && segments.size() == 1) {
        return requests(request);
    }
    if (segments[0] == "faults" && segments.size() == 1) {
        return faults(request);
    }
    return failure(404, "unknown development endpoint");
}

Json DevApi::userJson(const User& user) {
    Json people = Json::array();
    for (const Person& person : stores_.people.list(user.id)) {
        people.push_back(Json{{"id", person.id}, {"name", person.name}});
    }
    Json apps = Json::object();
    for (const auto& [appKey, enabled] : stores_.apps.settings(user.id)) {
        apps[appKey] = enabled;
    }
    return Json{{"id", user.id},
                {"email", user.email},
                {"created_at", user.createdAt},
                {"apps", apps},
                {"people", people}};
}

HttpReply DevApi::users(const httplib::Request& request, const std::vector<std::string>& segments) {
    if (segments.size() == 1) {
        return request.method == "POST" ? addUser(request) : methodNotAllowed();
    }
    const auto user = stores_.users.find(segments[1]);
    if (!user) {
        return failure(404, "no user \"" + capturekit::text::validUTF8(segments[1]) + "\"");
    }
    const std::string part = segments.size() > 2 ? segments[2] : "";
    if (segments.size() > 3) {
        return failure(404, "unknown development endpoint");
    }
    if (part.empty()) {
        return request.method == "GET" ? HttpReply::json(200, userJson(*user)) : methodNotAllowed();
    }
    if (part == "apps") {
        return request.method == "PUT" ? setApps(user->id, request) : methodNotAllowed();
    }
    if (part == "people") {
        return request.method == "PUT" ? setPeople(user->id, request) : methodNotAllowed();
    }
    if (part == "entries" || part == "devices") {
        if (request.method != "GET") {
            return methodNotAllowed();
        }
        Json list = Json::array();
        if (part == "entries") {
            for (const Entry& entry : stores_.entries.list(user->id)) {
                list.push_back(entryJson(entry));
            }
        } else {
            for (const Device& device : stores_.devices.list(user->id)) {
                list.push_back(deviceJson(device));
            }
        }
        return HttpReply::json(200, list);
    }
    return failure(404, "unknown development endpoint");
}

HttpReply DevApi::addUser(const httplib::Request& request) {
    const auto body = bodyJson(request);
    const auto email = body ? json::string(*body, "email") : std::nullopt;
    const auto password = body ? json::string(*body, "password") : std::nullopt;
    if (!email || !password) {
        return failure(400, "send {\"email\": …, \"password\": …}");
    }
    const auto user = stores_.users.add(*email, *password);
    if (!user) {
        return failure(user.error() == AddUserError::alreadyExists ? 409 : 400,
                       describe(user.error()));
    }
    return HttpReply::json(201, userJson(*user));
}

HttpReply DevApi::setApps(const std::string& userID, const httplib::Request& request) {
    const auto body = bodyJson(request);
    if (!body || !body->is_object()) {
        return failure(400, "send an object of app keys to true or false");
    }
    std::map<std::string, bool> changes;
    for (const auto& [appKey, enabled] : body->items()) {
        if (!enabled.is_boolean()) {
            return failure(400, "\"" + appKey + "\" must be true or false");
        }
        changes.emplace(appKey, enabled.get<bool>());
    }
    stores_.apps.update(userID, changes);
    Json apps = Json::object();
    for (const auto& [appKey, enabled] : stores_.apps.settings(userID)) {
        apps[appKey] = enabled;
    }
    return HttpReply::json(200, apps);
}

HttpReply DevApi::setPeople(const std::string& userID, const httplib::Request& request) {
    const auto body = bodyJson(request);
    if (!body || !body->is_array()) {
        return failure(400, "send an array of {\"name\": …} objects, each with an optional \"id\"");
    }
    std::vector<Person> people;
    for (const Json& item : *body) {
        const auto name =
            capturekit::text::trimmedNonEmpty(json::string(item, "name").value_or(""));
        const Json* id = json::member(item, "id");
        if (!name || (id != nullptr && !(id->is_string() && !id->get<std::string>().empty()))) {
            return failure(400, "each person needs a non-empty \"name\" and may have an \"id\"");
        }
        people.push_back(Person{id != nullptr ? id->get<std::string>() : "", *name});
    }
    Json stored = Json::array();
    for (const Person& person : stores_.people.replace(userID, people)) {
        stored.push_back(Json{{"id", person.id}, {"name", person.name}});
    }
    return HttpReply::json(200, stored);
}

HttpReply DevApi::requests(const httplib::Request& request) {
    if (request.method == "DELETE") {
        stores_.requests.clear();
        return HttpReply::empty(204);
    }
    if (request.method != "GET") {
        return methodNotAllowed();
    }
    std::size_t limit = defaultRequestLimit;
    if (request.has_param("limit")) {
        const auto parsed = capturekit::text::parseInteger(request.get_param_value("limit"));
        if (!parsed || *parsed < 1) {
            return failure(400, "\"limit\" must be a positive number");
        }
        limit = static_cast<std::size_t>(*parsed);
    }
    return HttpReply::json(200, stores_.requests.list(limit, request.get_param_value("path")));
}

HttpReply DevApi::faults(const httplib::Request& request) {
    if (request.method == "GET") {
        return HttpReply::json(200, stores_.faults.list());
    }
    if (request.method == "DELETE") {
        stores_.faults.clear();
        return HttpReply::empty(204);
    }
    if (request.method != "POST") {
        return methodNotAllowed();
    }
    const auto body = bodyJson(request);
    if (!body) {
        return failure(400, "the fault must be JSON");
    }
    const auto added = stores_.faults.add(*body);
    if (!added) {
        return failure(400, added.error());
    }
    return HttpReply::json(201, *added);
}

} // namespace devbackend
