#pragma once

// Base64 (RFC 4648 §4, padded) and base64url (§5, unpadded).

#include <optional>
#include <string>
#include <string_view>

namespace capturekit::base64 {

std::string encode(std::string_view bytes);
// Absent on a character outside the alphabet or a bad length; padding is optional.
std::optional<std::string> decode(std::string_view text);

std::string encodeURLUnpadded(std::string_view bytes);
// Accepts base64url with or without padding.
std::optional<std::string> decodeURL(std::string_view text);

} // namespace capturekit::base64
