#include <capturekit/model/social_identity_payload.hpp>

#include <capturekit/model/json_object_reader.hpp>

namespace capturekit {

OrderedJson SocialIdentityPayload::toJson() const {
    return OrderedJson{{"platform", platform}, {"handle", handle}};
}

std::expected<SocialIdentityPayload, CodingError>
SocialIdentityPayload::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    SocialIdentityPayload payload{
        .platform = reader.required<std::string>("platform"),
        .handle = reader.required<std::string>("handle"),
    };
    return reader.finish(std::move(payload));
}

} // namespace capturekit
