#pragma once

// What a capture for the household destination is. Its raw value travels as a plain string
// ("hearth_kind").

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <string_view>

namespace capturekit {

enum class HearthKind { recipe, vendor };

template <> struct RawValues<HearthKind> {
    static constexpr std::array<std::string_view, 2> names{"recipe", "vendor"};
};

std::string_view displayName(HearthKind kind);
std::string_view symbolName(HearthKind kind);

} // namespace capturekit
