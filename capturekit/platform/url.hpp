#pragma once

// A parsed absolute URL (RFC 3986, as libcurl reads it). Components are kept as they appear in
// the text (percent-encoding is not undone), except that the scheme and host are lower-cased.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

struct Url {
    std::string scheme;
    std::string host; // empty for URLs without an authority
    std::optional<int> port;
    std::string path; // "/" when the URL has an authority and no path
    std::optional<std::string> query;
    std::optional<std::string> fragment;
    std::string text; // the URL as given

    // Absent when the text is not an absolute URL with a scheme.
    static std::optional<Url> parse(std::string_view text);

    // The path split at "/", without empty segments.
    std::vector<std::string> pathSegments() const;
    // The extension of the last path segment, without the dot; empty when there is none.
    std::string pathExtension() const;

    // Percent-encodes `path` for a URL path: RFC 3986 unreserved and sub-delimiter characters,
    // ":", "@" and "/" stay; everything else is encoded as UTF-8 bytes.
    static std::string percentEncodePath(std::string_view path);
};

} // namespace capturekit
