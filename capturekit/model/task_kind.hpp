#pragma once

// The kind of task a capture becomes.

#include <capturekit/model/raw_value.hpp>

#include <array>
#include <string_view>

namespace capturekit {

enum class TaskKind { focus, quick };

template <> struct RawValues<TaskKind> {
    static constexpr std::array<std::string_view, 2> names{"focus", "quick"};
};

std::string_view displayName(TaskKind kind);

} // namespace capturekit
