#include <capturekit/model/coding_error.hpp>

namespace capturekit {

CodingError CodingError::inside(std::string_view key) const {
    std::string prefixed(key);
    if (!path.empty()) {
        prefixed += path.front() == '[' ? "" : ".";
        prefixed += path;
    }
    return {kind, std::move(prefixed)};
}

CodingError CodingError::inside(std::size_t index) const {
    std::string prefixed = "[" + std::to_string(index) + "]";
    if (!path.empty()) {
        prefixed += path.front() == '[' ? "" : ".";
        prefixed += path;
    }
    return {kind, std::move(prefixed)};
}

std::string CodingError::description() const {
    const std::string subject =
        path.empty() ? "The data" : "The value for \u201C" + path + "\u201D";
    switch (kind) {
    case Kind::malformedJSON:
        return "The data isn\u2019t valid JSON.";
    case Kind::missingValue:
        return subject + " is missing.";
    case Kind::wrongType:
        return subject + " has the wrong type.";
    case Kind::unknownValue:
        return subject + " isn\u2019t one of the known values.";
    case Kind::nonFiniteNumber:
        return subject + " isn\u2019t a finite number.";
    case Kind::numberOutOfRange:
        return subject + " is out of range.";
    }
    return subject + " can\u2019t be read.";
}

} // namespace capturekit
