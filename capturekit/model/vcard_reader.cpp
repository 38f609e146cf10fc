#include <capturekit/model/vcard_reader.hpp>

#include <capturekit/platform/text.hpp>

#include <algorithm>
#include <array>
#include <iterator>

namespace capturekit {

namespace {

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiUppercased(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), asciiUpper);
    return out;
}

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), asciiLower);
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiUppercased(a) == asciiUppercased(b);
}

// Text in UTF-16 (marked by its byte-order mark) as UTF-8; anything else unchanged but for a UTF-8
// byte-order mark.
std::string withoutByteOrderMark(std::string_view data) {
    const bool littleEndian = data.starts_with("\xFF\xFE");
    const bool bigEndian = data.starts_with("\xFE\xFF");
    if (!littleEndian && !bigEndian) {
        if (data.starts_with("\xEF\xBB\xBF")) {
            data.remove_prefix(3);
        }
        return std::string(data);
    }
    std::u32string codePoints;
    char32_t highSurrogate = 0;
    for (std::size_t i = 2; i + 1 < data.size(); i += 2) {
        const auto first = static_cast<unsigned char>(data[i]);
        const auto second = static_cast<unsigned char>(data[i + 1]);
        const char32_t unit = littleEndian ? (second << 8 | first) : (first << 8 | second);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (highSurrogate != 0) {
                codePoints.push_back(0xFFFD);
            }
            highSurrogate = unit;
            continue;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF && highSurrogate != 0) {
            codePoints.push_back(0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            if (highSurrogate != 0) {
                codePoints.push_back(0xFFFD);
            }
            codePoints.push_back(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
        highSurrogate = 0;
    }
    if (highSurrogate != 0) {
        codePoints.push_back(0xFFFD);
    }
    return text::fromCodePoints(codePoints);
}

std::vector<std::string_view> physicalLines(std::string_view data) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != '\r' && data[i] != '\n') {
            continue;
        }
        lines.push_back(data.substr(start, i - start));
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < data.size()) {
        lines.push_back(data.substr(start));
    }
    return lines;
}

// Joins folded lines: a line that begins with a space or a tab continues the one before it.
std::vector<std::string> unfoldedLines(std::string_view data) {
    std::vector<std::string> lines;
    for (std::string_view line : physicalLines(data)) {
        const bool continuation = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (continuation && !lines.empty()) {
            lines.back() += line.substr(1);
        } else {
            lines.emplace_back(line);
        }
    }
    return lines;
}

// The end of the parameter that starts at `start`: the next ';' or ':' outside double quotes, or
// npos when the line ends first.
std::size_t parameterEnd(std::string_view line, std::size_t start) {
    bool quoted = false;
    for (std::size_t i = start; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && (line[i] == ';' || line[i] == ':')) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::pair<std::string, std::string> parameter(std::string_view text) {
    const auto removeQuotes = [](std::string_view value) {
        std::string out;
        std::ranges::copy_if(text::trimmedSpacesAndTabs(value), std::back_inserter(out),
                             [](char c) { return c != '"'; });
        return text::validUTF8(out);
    };
    const std::size_t equals = text.find('=');
    if (equals != std::string_view::npos) {
        return {asciiUppercased(text::trimmedSpacesAndTabs(text.substr(0, equals))),
                removeQuotes(text.substr(equals + 1))};
    }
    static constexpr std::array<std::string_view, 5> encodings{"QUOTED-PRINTABLE", "BASE64", "B",
                                                               "8BIT", "7BIT"};
    const std::string bare = asciiUppercased(text::trimmedSpacesAndTabs(text));
    const bool isEncoding = std::ranges::find(encodings, bare) != encodings.end();
    return {isEncoding ? "ENCODING" : "TYPE", removeQuotes(text)};
}

// A content line split into its parts; absent when the line is not one.
std::optional<VCardProperty> contentLine(std::string_view line) {
    std::size_t i = line.find_first_of(";:");
    if (i == std::string_view::npos) {
        return std::nullopt;
    }
    VCardProperty property;
    std::string_view name = line.substr(0, i);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        property.group = text::validUTF8(asciiUppercased(name.substr(0, dot)));
        name.remove_prefix(dot + 1);
    }
    property.name = text::validUTF8(asciiUppercased(text::trimmedSpacesAndTabs(name)));
    if (property.name.empty()) {
        return std::nullopt;
    }
    while (line[i] == ';') {
        const std::size_t end = parameterEnd(line, i + 1);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        if (end > i + 1) {
            property.parameters.push_back(parameter(line.substr(i + 1, end - i - 1)));
        }
        i = end;
    }
    property.value = line.substr(i + 1);
    return property;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string quotedPrintableDecoded(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size() && hexDigit(value[i + 1]) >= 0 &&
            hexDigit(value[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(value[i + 1]) * 16 + hexDigit(value[i + 2])));
            i += 2;
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

bool isLatin1(std::string_view charset) {
    static constexpr std::array<std::string_view, 6> names{"ISO-8859-1",  "ISO8859-1",    "LATIN1",
                                                           "ISO-8859-15", "WINDOWS-1252", "CP1252"};
    return std::ranges::find(names, asciiUppercased(charset)) != names.end();
}

std::string latin1ToUTF8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char byte : bytes) {
        text::appendCodePoint(out, static_cast<unsigned char>(byte));
    }
    return out;
}

std::optional<std::string> parameterValue(const VCardProperty& property, std::string_view name) {
    for (const auto& [key, value] : property.parameters) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

// The value's bytes as UTF-8 text, after undoing a quoted-printable encoding.
std::string decodedValue(const VCardProperty& property) {
    std::string bytes = property.value;
    if (property.hasParameter("ENCODING", "QUOTED-PRINTABLE")) {
        bytes = quotedPrintableDecoded(bytes);
    }
    const auto charset = parameterValue(property, "CHARSET");
    if (charset && isLatin1(*charset)) {
        return latin1ToUTF8(bytes);
    }
    return text::validUTF8(bytes);
}

bool isCardBoundary(const VCardProperty& property, std::string_view name) {
    return property.name == name &&
           equalsIgnoringCase(text::trimmedSpacesAndTabs(property.value), "VCARD");
}

// Splits at `separator` where it is not escaped by a backslash; the pieces keep their escapes.
std::vector<std::string_view> splitUnescaped(std::string_view value, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') {
            ++i;
        } else if (value[i] == separator) {
            pieces.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(value.substr(std::min(start, value.size())));
    return pieces;
}

} // namespace

std::vector<std::string> VCardProperty::types() const {
    std::vector<std::string> out;
    for (const auto& [key, value] : parameters) {
        if (key != "TYPE") {
            continue;
        }
        for (std::string_view type : splitUnescaped(value, ',')) {
            if (std::string lower = asciiLowercased(text::trimmedSpacesAndTabs(type));
                !lower.empty()) {
                out.push_back(std::move(lower));
            }
        }
    }
    return out;
}

bool VCardProperty::hasParameter(std::string_view name, std::string_view value) const {
    return std::ranges::any_of(parameters, [&](const auto& parameter) {
        return parameter.first == name && equalsIgnoringCase(parameter.second, value);
    });
}

std::string VCardProperty::text() const {
    return vcard::unescaped(value);
}

std::vector<std::vector<std::string>> VCardProperty::components() const {
    std::vector<std::vector<std::string>> out;
    for (std::string_view component : splitUnescaped(value, ';')) {
        std::vector<std::string> values;
        for (std::string_view piece : splitUnescaped(component, ',')) {
            values.push_back(vcard::unescaped(piece));
        }
        out.push_back(std::move(values));
    }
    return out;
}

namespace vcard {

std::string unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        const char next = value[i + 1];
        if (next == 'n' || next == 'N') {
            out.push_back('\n');
            ++i;
        } else if (next == ',' || next == ';' || next == ':' || next == '\\') {
            out.push_back(next);
            ++i;
        } else {
            // Not an escape (vCard 2.1 has none): the backslash is text.
            out.push_back('\\');
        }
    }
    return out;
}

std::optional<std::vector<VCardProperty>> firstCard(std::string_view data) {
    const std::vector<std::string> lines = unfoldedLines(withoutByteOrderMark(data));
    std::vector<VCardProperty> properties;
    int depth = 0;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        auto property = contentLine(lines[index]);
        if (!property) {
            continue;
        }
        // A quoted-printable value ending in "=" goes on (unfolded) on the next line.
        if (property->hasParameter("ENCODING", "QUOTED-PRINTABLE")) {
            while (property->value.ends_with('=') && index + 1 < lines.size()) {
                property->value.pop_back();
                property->value += lines[++index];
            }
        }
        property->value = decodedValue(*property);
        if (isCardBoundary(*property, "BEGIN")) {
            ++depth;
        } else if (isCardBoundary(*property, "END") && depth > 0) {
            if (--depth == 0) {
                return properties;
            }
        } else if (depth == 1) {
            properties.push_back(std::move(*property));
        }
    }
    return std::nullopt;
}

} // namespace vcard

} // namespace capturekit
