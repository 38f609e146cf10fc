#include <capturekit/delivery/recent_capture.hpp>

#include <capturekit/platform/json.hpp>

namespace capturekit {

namespace {

void putOptional(OrderedJson& object, const char* key, const std::optional<std::string>& value) {
    if (value) {
        object[key] = *value;
    }
}

bool isOptionalString(const Json& object, std::string_view key) {
    const Json* member = json::member(object, key);
    return member == nullptr || member->is_null() || member->is_string();
}

std::optional<RecentCapture> decodeRow(const Json& row) {
    if (!row.is_object()) {
        return std::nullopt;
    }
    auto id = json::string(row, "id");
    const auto destinationRaw = json::string(row, "destination");
    auto title = json::string(row, "title");
    const auto seconds = json::number(row, "timestamp");
    const auto destination =
        destinationRaw ? fromRawValue<Destination>(*destinationRaw) : std::nullopt;
    const auto timestamp = seconds ? dates::fromSecondsSince2001(*seconds) : std::nullopt;
    for (const char* key : {"entryID", "category", "recordingID", "owner"}) {
        if (!isOptionalString(row, key)) {
            return std::nullopt;
        }
    }
    if (!id || !destination || !title || !timestamp) {
        return std::nullopt;
    }
    return RecentCapture{std::move(*id),
                         *destination,
                         std::move(*title),
                         *timestamp,
                         json::string(row, "entryID"),
                         json::string(row, "category"),
                         json::string(row, "recordingID"),
                         json::string(row, "owner")};
}

} // namespace

std::vector<RecentCapture> RecentCapture::decodeList(std::string_view text) {
    const auto list = json::parse(text);
    if (!list || !list->is_array()) {
        return {};
    }
    std::vector<RecentCapture> rows;
    for (const Json& element : *list) {
        auto row = decodeRow(element);
        // One unreadable row makes the whole list unreadable, as a strict decoder would.
        if (!row) {
            return {};
        }
        rows.push_back(std::move(*row));
    }
    return rows;
}

std::string RecentCapture::encodeList(const std::vector<RecentCapture>& rows) {
    OrderedJson list = OrderedJson::array();
    for (const RecentCapture& row : rows) {
        OrderedJson object;
        object["id"] = row.id;
        object["destination"] = std::string(rawValue(row.destination));
        object["title"] = row.title;
        object["timestamp"] = dates::secondsSince2001(row.timestamp);
        putOptional(object, "entryID", row.entryID);
        putOptional(object, "category", row.category);
        putOptional(object, "recordingID", row.recordingID);
        putOptional(object, "owner", row.owner);
        list.push_back(std::move(object));
    }
    return json::dump(list);
}

} // namespace capturekit
