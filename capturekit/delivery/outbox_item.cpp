#include <capturekit/delivery/outbox_item.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>
#include <capturekit/platform/uuid.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace capturekit {

namespace {

namespace keys {
constexpr std::string_view id = "id";
constexpr std::string_view request = "request";
constexpr std::string_view idempotencyKey = "idempotencyKey";
constexpr std::string_view logDestination = "logDestination";
constexpr std::string_view logTitle = "logTitle";
constexpr std::string_view createdAt = "createdAt";
constexpr std::string_view lastError = "lastError";
constexpr std::string_view attempts = "attempts";
constexpr std::string_view owner = "owner";
} // namespace keys

// A count of failed attempts, held between 0 and the largest count: a file edited by hand or
// written by another program can neither make it wrap nor un-stall its item.
struct AttemptCount {
    std::int64_t value = 0;

    static std::expected<AttemptCount, CodingError> fromJson(const Json& json) {
        constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
        if (json.is_number_unsigned()) {
            const auto count = json.get<std::uint64_t>();
            return AttemptCount{
                count > static_cast<std::uint64_t>(most) ? most : static_cast<std::int64_t>(count)};
        }
        if (json.is_number_integer()) {
            return AttemptCount{std::max<std::int64_t>(json.get<std::int64_t>(), 0)};
        }
        if (!json.is_number_float() || std::trunc(json.get<double>()) != json.get<double>()) {
            return std::unexpected(CodingError::at(CodingError::Kind::wrongType, {}));
        }
        const double count = json.get<double>();
        // 2^63 and above do not fit.
        if (count >= 9223372036854775808.0) {
            return AttemptCount{most};
        }
        return AttemptCount{count > 0 ? static_cast<std::int64_t>(count) : 0};
    }
};

// Walks the top level of one JSON object, decoding every member but one, whose value is only
// stepped over. Strings are skipped with memchr, so a long base64 string costs next to nothing.
class TopLevelSkimmer {
public:
    explicit TopLevelSkimmer(std::string_view text) : text_(text) {}

    // The other members as a JSON object, or absent when the text is not one object or the
    // skipped member's value is not an object. `sawSkipped` tells whether the member was there.
    std::optional<Json> membersSkipping(std::string_view skipped, bool& sawSkipped) {
        Json members = Json::object();
        sawSkipped = false;
        skipSpace();
        if (!consume('{')) {
            return std::nullopt;
        }
        skipSpace();
        if (!consume('}')) {
            do {
                if (!readMember(members, skipped, sawSkipped)) {
                    return std::nullopt;
                }
                skipSpace();
            } while (consume(','));
            if (!consume('}')) {
                return std::nullopt;
            }
        }
        skipSpace();
        if (pos_ != text_.size()) {
            return std::nullopt;
        }
        return members;
    }

private:
    bool readMember(Json& members, std::string_view skipped, bool& sawSkipped) {
        skipSpace();
        const std::size_t keyStart = pos_;
        if (!skipString()) {
            return false;
        }
        const auto key = json::parse(text_.substr(keyStart, pos_ - keyStart));
        if (!key || !key->is_string()) {
            return false;
        }
        skipSpace();
        if (!consume(':')) {
            return false;
        }
        skipSpace();
        const std::size_t valueStart = pos_;
        if (!skipValue()) {
            return false;
        }
        const auto& name = key->get_ref<const std::string&>();
        if (name == skipped) {
            sawSkipped = true;
            return text_[valueStart] == '{';
        }
        auto value = json::parse(text_.substr(valueStart, pos_ - valueStart));
        if (!value) {
            return false;
        }
        members[name] = std::move(*value);
        return true;
    }

    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }

    bool consume(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    // Steps past the string that starts at pos_.
    bool skipString() {
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            return false;
        }
        const char* const base = text_.data();
        std::size_t from = pos_ + 1;
        while (from <= text_.size()) {
            const auto* quote =
                static_cast<const char*>(std::memchr(base + from, '"', text_.size() - from));
            if (quote == nullptr) {
                return false;
            }
            const auto quoteAt = static_cast<std::size_t>(quote - base);
            const auto* escape =
                static_cast<const char*>(std::memchr(base + from, '\\', quoteAt - from));
            if (escape == nullptr) {
                pos_ = quoteAt + 1;
                return true;
            }
            from = static_cast<std::size_t>(escape - base) + 2;
        }
        return false;
    }

    static bool endsScalar(char c) {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ',' || c == ':' ||
               c == '}' || c == ']' || c == '{' || c == '[' || c == '"';
    }

    // Steps past one value, checking only that its strings end and its brackets pair up.
    bool skipValue() {
        std::string closers;
        do {
            skipSpace();
            if (pos_ >= text_.size()) {
                return false;
            }
            const char c = text_[pos_];
            if (c == '"') {
                if (!skipString()) {
                    return false;
                }
            } else if (c == '{' || c == '[') {
                closers.push_back(c == '{' ? '}' : ']');
                ++pos_;
            } else if (c == '}' || c == ']') {
                if (closers.empty() || closers.back() != c) {
                    return false;
                }
                closers.pop_back();
                ++pos_;
            } else if (c == ',' || c == ':') {
                if (closers.empty()) {
                    return false;
                }
                ++pos_;
            } else {
                while (pos_ < text_.size() && !endsScalar(text_[pos_])) {
                    ++pos_;
                }
            }
        } while (!closers.empty());
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

void readAllButRequest(JsonObjectReader& reader, OutboxItem& item) {
    item.id = reader.required<std::string>(keys::id);
    item.idempotencyKey = reader.required<std::string>(keys::idempotencyKey);
    item.logDestination = reader.required<Destination>(keys::logDestination);
    item.logTitle = reader.required<std::string>(keys::logTitle);
    item.createdAt = reader.required<Date>(keys::createdAt);
    item.lastError = reader.optional<std::string>(keys::lastError);
    item.attempts = reader.optional<AttemptCount>(keys::attempts).transform([](AttemptCount count) {
        return count.value;
    });
    item.owner = reader.optional<std::string>(keys::owner);
}

} // namespace

OutboxItem OutboxItem::make(CaptureIngestRequest request, std::string idempotencyKey,
                            Destination logDestination, std::string logTitle, Date createdAt,
                            std::optional<std::string> owner) {
    return OutboxItem{.id = makeUUIDString(),
                      .request = std::move(request),
                      .idempotencyKey = std::move(idempotencyKey),
                      .logDestination = logDestination,
                      .logTitle = std::move(logTitle),
                      .createdAt = createdAt,
                      .lastError = std::nullopt,
                      .attempts = std::nullopt,
                      .owner = std::move(owner)};
}

bool OutboxItem::isSafeID(std::string_view id) {
    return !id.empty() && id.find('/') == std::string_view::npos &&
           id.find("..") == std::string_view::npos && id.find('\0') == std::string_view::npos;
}

std::expected<OrderedJson, CodingError> OutboxItem::toJson() const {
    JsonObjectWriter writer;
    writer.write(keys::id, id);
    writer.write(keys::request, request);
    writer.write(keys::idempotencyKey, idempotencyKey);
    writer.write(keys::logDestination, logDestination);
    writer.write(keys::logTitle, logTitle);
    writer.write(keys::createdAt, createdAt);
    writer.write(keys::lastError, lastError);
    writer.write(keys::attempts, attempts);
    writer.write(keys::owner, owner);
    return std::move(writer).finish();
}

std::expected<std::string, CodingError> OutboxItem::encoded() const {
    const auto object = toJson();
    if (!object) {
        return std::unexpected(object.error());
    }
    return json::dump(*object);
}

std::expected<OutboxItem, CodingError> OutboxItem::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    OutboxItem item;
    item.request = reader.required<CaptureIngestRequest>(keys::request);
    readAllButRequest(reader, item);
    return reader.finish(std::move(item));
}

std::expected<OutboxItem, CodingError> OutboxItem::decode(std::string_view text) {
    const auto parsed = json::parse(text);
    if (!parsed) {
        return std::unexpected(CodingError::malformedJSON());
    }
    return fromJson(*parsed);
}

std::expected<OutboxItem, CodingError> OutboxItem::decodeSkippingRequest(std::string_view text) {
    bool sawRequest = false;
    const auto members = TopLevelSkimmer(text).membersSkipping(keys::request, sawRequest);
    if (!members) {
        return std::unexpected(CodingError::malformedJSON());
    }
    if (!sawRequest) {
        return std::unexpected(CodingError::at(CodingError::Kind::missingValue, keys::request));
    }
    JsonObjectReader reader(*members);
    OutboxItem item;
    readAllButRequest(reader, item);
    return reader.finish(std::move(item));
}

} // namespace capturekit
