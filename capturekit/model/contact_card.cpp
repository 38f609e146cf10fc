#include <capturekit/model/contact_card.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>
#include <capturekit/model/vcard_reader.hpp>
#include <capturekit/platform/text.hpp>

#include <algorithm>

namespace capturekit {

namespace {

using Types = std::vector<std::string>;

bool has(const Types& types, std::string_view type) {
    return std::ranges::find(types, type) != types.end();
}

std::optional<std::string> phoneLabel(const Types& types) {
    if (has(types, "fax")) {
        return has(types, "home") ? "home fax" : has(types, "work") ? "work fax" : "fax";
    }
    if (has(types, "pager")) {
        return "pager";
    }
    if (has(types, "cell") || has(types, "mobile") || has(types, "iphone")) {
        return "mobile";
    }
    for (const char* label : {"main", "home", "work", "other"}) {
        if (has(types, label)) {
            return label;
        }
    }
    return std::nullopt;
}

std::optional<std::string> emailLabel(const Types& types) {
    for (const char* label : {"home", "work", "other"}) {
        if (has(types, label)) {
            return label;
        }
    }
    return std::nullopt;
}

// Apple writes its standard labels as "_$!<HomeFAX>!$_" and custom ones as plain text.
std::optional<std::string> appleLabel(std::string_view written) {
    std::optional<std::string> label = text::trimmedNonEmpty(written);
    if (!label || !label->starts_with("_$!<") || !label->ends_with(">!$_") || label->size() < 8) {
        return label;
    }
    const std::string standard = text::lowercased(label->substr(4, label->size() - 8));
    if (standard == "homefax") {
        return "home fax";
    }
    if (standard == "workfax") {
        return "work fax";
    }
    if (standard == "otherfax") {
        return "fax";
    }
    if (standard == "iphone") {
        return "mobile";
    }
    return text::trimmedNonEmpty(standard);
}

std::optional<std::string> groupLabel(const std::vector<VCardProperty>& properties,
                                      const std::string& group) {
    if (group.empty()) {
        return std::nullopt;
    }
    for (const VCardProperty& property : properties) {
        if (property.group == group && property.name == "X-ABLABEL") {
            return appleLabel(property.text());
        }
    }
    return std::nullopt;
}

std::string withoutScheme(std::string value, std::string_view scheme) {
    if (value.size() >= scheme.size() &&
        text::lowercased(value.substr(0, scheme.size())) == scheme) {
        value.erase(0, scheme.size());
    }
    return value;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        if (!out.empty()) {
            out += separator;
        }
        out += part;
    }
    return out;
}

// The full name from N (family; given; additional; prefixes; suffixes), in the order
// "prefix given additional family suffix".
std::string nameFromComponents(const std::vector<std::vector<std::string>>& components) {
    const auto component = [&](std::size_t index) {
        return index < components.size() ? text::trimmed(joined(components[index], " "))
                                         : std::string{};
    };
    return joined({component(3), component(1), component(2), component(0), component(4)}, " ");
}

// An entry from a TEL or EMAIL property; absent when its value is empty.
std::optional<ContactCard::Entry> entry(const VCardProperty& property,
                                        const std::vector<VCardProperty>& properties,
                                        std::string_view scheme, std::optional<std::string> label) {
    auto value = text::trimmedNonEmpty(withoutScheme(text::trimmed(property.text()), scheme));
    if (!value) {
        return std::nullopt;
    }
    if (auto custom = groupLabel(properties, property.group)) {
        label = std::move(custom);
    }
    return ContactCard::Entry{.label = std::move(label), .value = std::move(*value)};
}

void setOnce(std::optional<std::string>& field, std::optional<std::string> value) {
    if (!field) {
        field = std::move(value);
    }
}

} // namespace

OrderedJson ContactCard::Entry::toJson() const {
    JsonObjectWriter writer;
    writer.write("label", label);
    writer.write("value", value);
    return *std::move(writer).finish();
}

std::expected<ContactCard::Entry, CodingError> ContactCard::Entry::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    Entry entry{
        .label = reader.optional<std::string>("label"),
        .value = reader.required<std::string>("value"),
    };
    return reader.finish(std::move(entry));
}

VendorPayload ContactCard::vendorPayload() const {
    const auto firstValue = [](const std::vector<Entry>& entries) {
        return entries.empty() ? std::nullopt : text::trimmedNonEmpty(entries.front().value);
    };
    VendorPayload vendor{
        .name = name,
        .contactName = std::nullopt,
        .phone = firstValue(phones),
        .email = firstValue(emails),
        .website = text::trimmedOptional(website),
        .notes = text::trimmedOptional(note),
    };
    if (auto company = text::trimmedOptional(organization)) {
        vendor.name = std::move(*company);
        vendor.contactName = text::trimmedNonEmpty(name);
    }
    return vendor;
}

std::string ContactCard::summary() const {
    std::vector<std::string> lines;
    const std::string heading = joined({text::trimmedOptional(organization).value_or(""),
                                        text::trimmedOptional(jobTitle).value_or("")},
                                       ", ");
    if (!heading.empty()) {
        lines.push_back(heading);
    }
    for (const auto* entries : {&phones, &emails}) {
        for (const Entry& entry : *entries) {
            const auto label = text::trimmedOptional(entry.label);
            lines.push_back(label ? *label + ": " + entry.value : entry.value);
        }
    }
    for (const auto* field : {&website, &note}) {
        if (auto line = text::trimmedOptional(*field)) {
            lines.push_back(std::move(*line));
        }
    }
    if (lines.empty()) {
        return name;
    }
    std::string out = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        out += "\n" + lines[i];
    }
    return out;
}

std::optional<ContactCard> ContactCard::parse(std::string_view vCard) {
    const auto properties = vcard::firstCard(vCard);
    if (!properties) {
        return std::nullopt;
    }
    ContactCard card;
    std::optional<std::string> formattedName;
    std::optional<std::string> structuredName;
    for (const VCardProperty& property : *properties) {
        if (property.name == "FN") {
            setOnce(formattedName, text::trimmedNonEmpty(property.text()));
        } else if (property.name == "N") {
            setOnce(structuredName,
                    text::trimmedNonEmpty(nameFromComponents(property.components())));
        } else if (property.name == "ORG") {
            // Only the first component is the organisation; commas in it are text.
            const auto components = property.components();
            setOnce(card.organization, text::trimmedNonEmpty(joined(components.front(), ",")));
        } else if (property.name == "TITLE") {
            setOnce(card.jobTitle, text::trimmedNonEmpty(property.text()));
        } else if (property.name == "URL") {
            setOnce(card.website, text::trimmedNonEmpty(property.text()));
        } else if (property.name == "TEL") {
            if (auto phone = entry(property, *properties, "tel:", phoneLabel(property.types()))) {
                card.phones.push_back(std::move(*phone));
            }
        } else if (property.name == "EMAIL") {
            if (auto email =
                    entry(property, *properties, "mailto:", emailLabel(property.types()))) {
                card.emails.push_back(std::move(*email));
            }
        }
    }
    auto name = formattedName ? formattedName : structuredName ? structuredName : card.organization;
    if (!name) {
        return std::nullopt;
    }
    card.name = std::move(*name);
    return card;
}

OrderedJson ContactCard::toJson() const {
    JsonObjectWriter writer;
    writer.write("name", name);
    writer.write("organization", organization);
    writer.write("jobTitle", jobTitle);
    writer.write("phones", phones);
    writer.write("emails", emails);
    writer.write("website", website);
    writer.write("note", note);
    // Only numbers can fail to encode, and a card holds none.
    return *std::move(writer).finish();
}

std::expected<ContactCard, CodingError> ContactCard::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    ContactCard card{
        .name = reader.required<std::string>("name"),
        .organization = reader.optional<std::string>("organization"),
        .jobTitle = reader.optional<std::string>("jobTitle"),
        .phones = reader.required<std::vector<Entry>>("phones"),
        .emails = reader.required<std::vector<Entry>>("emails"),
        .website = reader.optional<std::string>("website"),
        .note = reader.optional<std::string>("note"),
    };
    return reader.finish(std::move(card));
}

} // namespace capturekit
