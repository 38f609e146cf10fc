#include <capturekit/model/vendor_payload.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

OrderedJson VendorPayload::toJson() const {
    JsonObjectWriter writer;
    writer.write("name", name);
    writer.write("contact_name", contactName);
    writer.write("phone", phone);
    writer.write("email", email);
    writer.write("website", website);
    writer.write("notes", notes);
    // Only numbers can fail to encode, and a vendor holds none.
    return *std::move(writer).finish();
}

std::expected<VendorPayload, CodingError> VendorPayload::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    VendorPayload vendor{
        .name = reader.required<std::string>("name"),
        .contactName = reader.optional<std::string>("contact_name"),
        .phone = reader.optional<std::string>("phone"),
        .email = reader.optional<std::string>("email"),
        .website = reader.optional<std::string>("website"),
        .notes = reader.optional<std::string>("notes"),
    };
    return reader.finish(std::move(vendor));
}

} // namespace capturekit
