#include <capturekit/model/hearth_kind.hpp>

namespace capturekit {

std::string_view displayName(HearthKind kind) {
    switch (kind) {
    case HearthKind::recipe:
        return "Recipe";
    case HearthKind::vendor:
        return "Vendor";
    }
    return {};
}

std::string_view symbolName(HearthKind kind) {
    switch (kind) {
    case HearthKind::recipe:
        return "fork.knife";
    case HearthKind::vendor:
        return "storefront";
    }
    return {};
}

} // namespace capturekit
