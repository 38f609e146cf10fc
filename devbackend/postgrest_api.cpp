#include "postgrest_api.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

#include <cctype>

namespace devbackend {

using capturekit::Json;
namespace json = capturekit::json;

namespace {

constexpr std::string_view devicesPath = "/rest/v1/ingest_devices";
constexpr std::string_view appsEnabledPath = "/rest/v1/rpc/apps_enabled";
constexpr std::string_view deviceColumns[] = {"user_id", "name", "source", "token_hash"};

HttpReply rowLevelSecurity(const Caller& caller) {
    // Anonymous callers are told to authenticate; signed-in ones that they may not.
    return errors::rest(caller.kind == Caller::Kind::user ? 403 : 401, "42501",
                        "new row violates row-level security policy for table \"ingest_devices\"");
}

HttpReply jwtError(CallerError error) {
    if (error == CallerError::expired) {
        return errors::rest(401, "PGRST303", "JWT expired");
    }
    return errors::rest(401, "PGRST301", "JWSError " + describe(error));
}

bool isLowerHexSHA256(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isdigit(static_cast<unsigned char>(c)) != 0 || (c >= 'a' && c <= 'f');
           });
}

bool acceptsJson(const httplib::Request& request) {
    const std::string type = capturekit::text::lowercased(request.get_header_value("Content-Type"));
    return type.empty() || type.starts_with("application/json");
}

// The value of `preference` in the "Prefer" header ("return=minimal" gives "minimal").
std::string preference(const httplib::Request& request, std::string_view name) {
    const std::string header = request.get_header_value("Prefer");
    const std::string key = std::string(name) + "=";
    std::size_t start = 0;
    while (start < header.size()) {
        const std::size_t end = std::min(header.find(',', start), header.size());
        const std::string item =
            capturekit::text::trimmed(std::string_view(header).substr(start, end - start));
        if (item.starts_with(key)) {
            return item.substr(key.size());
        }
        start = end + 1;
    }
    return {};
}

std::optional<HttpReply> checkRow(const Json& row, const Caller& caller) {
    for (const auto& [column, value] : row.items()) {
        if (std::find(std::begin(deviceColumns), std::end(deviceColumns), column) ==
            std::end(deviceColumns)) {
            return errors::rest(400, "PGRST204",
                                "Could not find the '" + column +
                                    "' column of 'ingest_devices' in the schema cache");
        }
        if (!value.is_string() && !value.is_null()) {
            return errors::rest(400, "22P02",
                                "invalid input syntax for type text: " + value.dump());
        }
    }
    for (std::string_view required : {"user_id", "token_hash"}) {
        if (!json::string(row, required)) {
            return errors::rest(400, "23502",
                                "null value in column \"" + std::string(required) +
                                    "\" of relation \"ingest_devices\" violates not-null "
                                    "constraint");
        }
    }
    if (json::string(row, "user_id") != caller.userID || caller.kind != Caller::Kind::user) {
        return rowLevelSecurity(caller);
    }
    if (!isLowerHexSHA256(*json::string(row, "token_hash"))) {
        return errors::rest(400, "23514",
                            "new row for relation \"ingest_devices\" violates check constraint "
                            "\"ingest_devices_token_hash_check\"");
    }
    return std::nullopt;
}

Json deviceJson(const Device& device) {
    return Json{{"id", device.id},
                {"user_id", device.userID},
                {"name", device.name ? Json(*device.name) : Json(nullptr)},
                {"source", device.source ? Json(*device.source) : Json(nullptr)},
                {"token_hash", device.tokenHash},
                {"created_at", device.createdAt},
                {"last_used_at", device.lastUsedAt ? Json(*device.lastUsedAt) : Json(nullptr)}};
}

} // namespace

HttpReply PostgrestApi::handle(const httplib::Request& request) {
    const bool devices = request.path == devicesPath;
    const bool rpc = request.path == appsEnabledPath;
    if (!devices && !rpc) {
        if (request.path.starts_with("/rest/v1/rpc/")) {
            return errors::rest(404, "PGRST202",
                                "Could not find the function public." + request.path.substr(13) +
                                    " in the schema cache");
        }
        return errors::rest(404, "PGRST205",
                            "Could not find the table 'public." + request.path.substr(9) +
                                "' in the schema cache");
    }
    if (request.method != "POST") {
        return errors::rest(405, "PGRST117", "Unsupported HTTP method: " + request.method);
    }
    if (!acceptsJson(request)) {
        return errors::rest(415, "PGRST107",
                            "None of these media types are available: " +
                                request.get_header_value("Content-Type"));
    }
    // Without a token the REST layer works as the anonymous role.
    auto caller = callers_.fromAccessToken(request);
    if (!caller && caller.error() != CallerError::missingToken) {
        return jwtError(caller.error());
    }
    const Caller who = caller.value_or(Caller{});
    return devices ? insertDevices(request, who) : appsEnabled(request, who);
}

HttpReply PostgrestApi::insertDevices(const httplib::Request& request, const Caller& caller) {
    const auto body = json::parse(request.body);
    if (!body || !(body->is_object() || body->is_array())) {
        return errors::rest(400, "PGRST102", "Empty or invalid json");
    }
    const Json rows = body->is_array() ? *body : Json::array({*body});
    std::vector<Device> additions;
    for (const Json& row : rows) {
        if (!row.is_object()) {
            return errors::rest(400, "PGRST102", "All object keys must match");
        }
        if (auto refusal = checkRow(row, caller)) {
            return *refusal;
        }
        additions.push_back(Device{.userID = *json::string(row, "user_id"),
                                   .name = json::string(row, "name"),
                                   .source = json::string(row, "source"),
                                   .tokenHash = *json::string(row, "token_hash")});
    }
    const auto added = devices_.add(std::move(additions));
    if (!added) {
        return errors::rest(409, "23505",
                            "duplicate key value violates unique constraint "
                            "\"ingest_devices_token_hash_key\"",
                            "Key (token_hash)=(" + added.error() + ") already exists.");
    }
    if (preference(request, "return") == "representation") {
        Json inserted = Json::array();
        for (const Device& device : *added) {
            inserted.push_back(deviceJson(device));
        }
        return HttpReply::json(201, inserted);
    }
    return HttpReply::empty(201);
}

HttpReply PostgrestApi::appsEnabled(const httplib::Request& request, const Caller& caller) {
    const auto body = json::parse(request.body.empty() ? "{}" : request.body);
    if (!body || !body->is_object()) {
        return errors::rest(400, "PGRST102", "Empty or invalid json");
    }
    const Json* keys = json::member(*body, "p_keys");
    if (keys == nullptr || body->size() != 1) {
        std::string parameters;
        for (const auto& [name, value] : body->items()) {
            parameters += (parameters.empty() ? "" : ", ") + name;
        }
        return errors::rest(404, "PGRST202",
                            "Could not find the function public.apps_enabled(" + parameters +
                                ") in the schema cache",
                            "Searched for the function public.apps_enabled with parameters " +
                                parameters + " or with a single unnamed json/jsonb parameter",
                            "Perhaps you meant to call the function public.apps_enabled(p_keys)");
    }
    if (!keys->is_null() &&
        !(keys->is_array() && std::all_of(keys->begin(), keys->end(),
                                          [](const Json& key) { return key.is_string(); }))) {
        return errors::rest(400, "22P02", "malformed array literal: " + keys->dump());
    }
    if (caller.kind != Caller::Kind::user) {
        return errors::rest(401, "42501", "permission denied for function apps_enabled");
    }
    const auto settings = apps_.settings(caller.userID);
    Json rows = Json::array();
    for (const Json& key : keys->is_null() ? Json::array() : *keys) {
        const auto it = settings.find(key.get<std::string>());
        rows.push_back(Json{{"app_key", key}, {"enabled", it == settings.end() || it->second}});
    }
    return HttpReply::json(200, rows);
}

} // namespace devbackend
