#pragma once

// URLs are kept as absolute URL text. These helpers build and take apart the few forms the
// library needs: origins, paths appended to a base, and absolute-path references.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

// A parsed absolute URL (RFC 3986, as libcurl reads it). Components are kept as they appear in
// the text (percent-encoding is not undone), except that the scheme and host are lower-cased.
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
};

} // namespace capturekit

namespace capturekit::url {

// Percent-encodes, byte by byte, every byte for which `keep` is false, as "%" and two upper-case
// hexadecimal digits.
std::string percentEncode(std::string_view text, bool (*keep)(unsigned char byte));
// Every "%" and two hexadecimal digits as that byte; absent when an escape is malformed.
std::optional<std::string> percentDecode(std::string_view text);

// Percent-encodes, byte by byte, everything but the characters RFC 3986 allows in a path
// (unreserved, sub-delims, ":" and "@") and "/". "%" itself is encoded, so the result decodes back
// to exactly the input.
std::string encodePath(std::string_view path);

// Whether the text holds only characters allowed in a URI reference, with well-formed escapes.
bool isValidReference(std::string_view reference);

// The base URL (without query or fragment) with `path` appended as path components: exactly one
// "/" between them, and `path` percent-encoded as by encodePath.
std::string appendingPath(std::string_view base, std::string_view path);

// The host of an absolute URL ("https://dev.tarvo.app:8443/x" gives "dev.tarvo.app"; an IPv6
// literal comes without its brackets); absent when the URL has no authority or an empty host.
std::optional<std::string> host(std::string_view absoluteURL);

// Scheme and authority of an absolute URL ("https://tarvo.app" of "https://tarvo.app/a?b").
std::optional<std::string> origin(std::string_view absoluteURL);

// Resolves a reference that starts with one "/" against the origin of `base`, removing "." and
// ".." segments. Absent when the reference is not a valid URI reference, does not start with "/",
// or starts with "//" (which would name another host).
std::optional<std::string> resolvingAbsolutePath(std::string_view base, std::string_view reference);

} // namespace capturekit::url
