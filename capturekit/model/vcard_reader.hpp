#pragma once

// A reader for vCard 2.1, 3.0 and 4.0 documents: line unfolding, quoted-printable values (with
// their soft line breaks), ISO-8859-1 and UTF-16 input, parameters in the 2.1 and 3.0/4.0 forms,
// and backslash escapes. It knows nothing about what the properties mean; unknown properties and
// lines that are not content lines are kept or skipped, never an error.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace capturekit {

// One content line: [group.]NAME;PARAM=VALUE...:value
struct VCardProperty {
    // Upper-cased, as names and groups compare without case.
    std::string group{};
    std::string name{};
    // Parameter names upper-cased, values as written without their quotes. A vCard 2.1 bare
    // parameter ("TEL;CELL:") is a TYPE, or an ENCODING for the names of encodings.
    std::vector<std::pair<std::string, std::string>> parameters{};
    // The value as written, still escaped, after quoted-printable decoding; valid UTF-8.
    std::string value{};

    // Every TYPE value, lower-cased, comma-separated lists split.
    std::vector<std::string> types() const;
    bool hasParameter(std::string_view name, std::string_view value) const;
    // The value with its escapes undone (\n, \, \; \: and \\).
    std::string text() const;
    // The value split at unescaped semicolons (structured values such as N and ORG), each
    // component split at unescaped commas into its list of values, all unescaped.
    std::vector<std::vector<std::string>> components() const;
};

namespace vcard {

// The properties of the first vCard in the data (nested cards are skipped); absent when the data
// holds no card that begins and ends.
std::optional<std::vector<VCardProperty>> firstCard(std::string_view data);

// Undoes the value escapes of vCard text.
std::string unescaped(std::string_view value);

} // namespace vcard

} // namespace capturekit
