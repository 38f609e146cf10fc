#pragma once

// One row of the recent-captures list, and the list's stored form: a JSON array, newest first,
// with the field names as keys and the timestamp as seconds since 2001-01-01 00:00:00 UTC.

#include <capturekit/model/destination.hpp>
#include <capturekit/platform/date_time.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

struct RecentCapture {
    std::string id;
    Destination destination = Destination::stash;
    std::string title;
    Date timestamp;
    std::optional<std::string> entryID;
    std::optional<std::string> category;
    std::optional<std::string> recordingID;
    std::optional<std::string> owner;

    bool operator==(const RecentCapture&) const = default;

    // Empty when the text is not a list of rows.
    static std::vector<RecentCapture> decodeList(std::string_view text);
    static std::string encodeList(const std::vector<RecentCapture>& rows);
};

} // namespace capturekit
