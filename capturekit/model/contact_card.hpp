#pragma once

// A shared contact card, with its conversions into a vendor, a plain-text summary, and from a
// vCard document.

#include <capturekit/model/coding_error.hpp>
#include <capturekit/model/vendor_payload.hpp>
#include <capturekit/platform/json.hpp>

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capturekit {

struct ContactCard {
    // One phone number or e-mail address with its human-readable label ("mobile", "work"…).
    struct Entry {
        std::optional<std::string> label{};
        std::string value{};

        OrderedJson toJson() const;
        static std::expected<Entry, CodingError> fromJson(const Json& json);

        bool operator==(const Entry&) const = default;
    };

    std::string name{};
    std::optional<std::string> organization{};
    std::optional<std::string> jobTitle{};
    std::vector<Entry> phones{};
    std::vector<Entry> emails{};
    std::optional<std::string> website{};
    std::optional<std::string> note{};

    // The card as a household vendor: named after the organisation when there is one (the
    // person becoming the contact name), else after the card.
    VendorPayload vendorPayload() const;
    // Plain text for a capture's content: organisation and job title, then one line per phone
    // and e-mail ("label: value"), then website and note; the name when all of these are empty.
    std::string summary() const;

    // The first contact of a vCard 2.1/3.0/4.0 document; absent when the data holds no card or
    // the card has neither a name nor an organisation. The name is FN, else the name built from N
    // (prefix, given, additional, family, suffix), else the organisation. TYPE parameters become
    // the labels "mobile", "home", "work", "main", "pager", "other", "fax", "home fax" and
    // "work fax" (an Apple X-ABLabel of the property's group takes precedence); types that
    // name no kind of number or address ("voice", "internet", "pref"…) leave no label.
    static std::optional<ContactCard> parse(std::string_view vCard);

    OrderedJson toJson() const;
    static std::expected<ContactCard, CodingError> fromJson(const Json& json);

    bool operator==(const ContactCard&) const = default;
};

} // namespace capturekit
