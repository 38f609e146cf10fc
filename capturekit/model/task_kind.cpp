#include <capturekit/model/task_kind.hpp>

namespace capturekit {

std::string_view displayName(TaskKind kind) {
    switch (kind) {
    case TaskKind::focus:
        return "Focus";
    case TaskKind::quick:
        return "Quick";
    }
    return {};
}

} // namespace capturekit
