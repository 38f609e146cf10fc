#include "request_log.hpp"

#include "stamps.hpp"

#include <capturekit/platform/text.hpp>

#include <httplib.h>

#include <algorithm>
#include <iterator>

namespace devbackend {

using capturekit::Json;

namespace {

constexpr std::int64_t keptRequests = 2000;
// Media and screenshots can be large; the log keeps the start of a body and its full size, so a
// listing of many requests stays small.
constexpr std::size_t keptBodyBytes = 64 * 1024;

constexpr std::string_view redacted = "[redacted]";
// Request body members that hold a credential.
constexpr std::string_view secretMembers[] = {"password", "refresh_token"};

bool isSecretMember(std::string_view name) {
    return std::ranges::find(secretMembers, name) != std::end(secretMembers);
}

bool mentionsSecretMember(std::string_view body) {
    return std::ranges::any_of(secretMembers, [&](std::string_view name) {
        return body.find(name) != std::string_view::npos;
    });
}

// Deeper documents are not walked (a hostile body could nest thousands of levels).
constexpr int deepestRedaction = 64;

enum class Redaction { none, some, tooDeep };

// Replaces the values of credential members at any depth up to deepestRedaction.
Redaction redactMembers(Json& value, int depth = 0) {
    if (depth > deepestRedaction) {
        return Redaction::tooDeep;
    }
    Redaction result = Redaction::none;
    const auto redactInside = [&](Json& inner) {
        result = std::max(result, redactMembers(inner, depth + 1));
    };
    if (value.is_object()) {
        for (auto& [name, member] : value.items()) {
            if (isSecretMember(name)) {
                member = redacted;
                result = std::max(result, Redaction::some);
            } else {
                redactInside(member);
            }
        }
    } else if (value.is_array()) {
        std::ranges::for_each(value, redactInside);
    }
    return result;
}

// The body as the log keeps it: passwords and refresh tokens never reach the database. A body
// that names one but cannot be read (or is too deep to walk) is kept as a whole "[redacted]".
std::string redactedBody(const std::string& body) {
    if (!mentionsSecretMember(body)) {
        return body;
    }
    auto document = capturekit::json::parse(body);
    if (!document) {
        return std::string(redacted);
    }
    switch (redactMembers(*document)) {
    case Redaction::none:
        return body;
    case Redaction::some:
        return capturekit::json::dump(*document);
    case Redaction::tooDeep:
        break;
    }
    return std::string(redacted);
}

std::string queryOf(const httplib::Request& request) {
    const std::size_t mark = request.target.find('?');
    return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

Json headersOf(const httplib::Request& request) {
    Json headers = Json::object();
    for (const auto& [name, value] : request.headers) {
        // Set by the HTTP layer, not sent by the client.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
            name == "LOCAL_PORT") {
            continue;
        }
        // Bearer tokens would let anyone who reads the log act as the caller.
        const std::string text = capturekit::text::lowercased(name) == "authorization"
                                     ? std::string(redacted)
                                     : capturekit::text::validUTF8(value);
        if (headers.contains(name)) {
            headers[name] = headers[name].get<std::string>() + ", " + text;
        } else {
            headers[name] = text;
        }
    }
    return headers;
}

} // namespace

void RequestLog::record(const httplib::Request& request, int status, std::string_view outcome) {
    const std::string headers = capturekit::json::dump(headersOf(request));
    const std::string now = stamps::now();
    const std::string body = redactedBody(request.body);
    database_.transaction([&] {
        database_
            .prepare("INSERT INTO requests (received_at, method, path, query, headers, body, "
                     "body_size, status, outcome) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, now)
            .bind(2, request.method)
            .bind(3, request.path)
            .bind(4, queryOf(request))
            .bind(5, headers)
            .bindBlob(6, std::string_view(body).substr(0, keptBodyBytes))
            .bind(7, static_cast<std::int64_t>(request.body.size()))
            .bind(8, status)
            .bind(9, outcome)
            .run();
        database_.prepare("DELETE FROM requests WHERE seq <= last_insert_rowid() - ?")
            .bind(1, keptRequests)
            .run();
    });
}

Json RequestLog::list(std::size_t limit, std::string_view pathPrefix) {
    return database_.transaction([&] {
        auto select = database_.prepare(
            "SELECT * FROM (SELECT seq, received_at, method, path, query, headers, body, status, "
            "outcome, body_size FROM requests WHERE substr(path, 1, length(?1)) = ?1 ORDER BY seq "
            "DESC "
            "LIMIT ?2) ORDER BY seq");
        select.bind(1, pathPrefix).bind(2, static_cast<std::int64_t>(limit));
        Json requests = Json::array();
        while (select.step()) {
            const std::string body = select.text(6);
            const std::int64_t size = select.integer(9);
            requests.push_back(
                Json{{"received_at", select.text(1)},
                     {"method", select.text(2)},
                     {"path", select.text(3)},
                     {"query", select.text(4)},
                     {"headers", capturekit::json::parse(select.text(5)).value_or(Json::object())},
                     {"body", capturekit::text::validUTF8(body)},
                     {"body_size", size},
                     {"body_truncated", size > static_cast<std::int64_t>(body.size())},
                     {"status", select.integer(7)},
                     {"outcome", select.text(8)}});
        }
        return requests;
    });
}

void RequestLog::clear() {
    database_.transaction([&] { database_.execute("DELETE FROM requests"); });
}

} // namespace devbackend
