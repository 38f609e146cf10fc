#include <capturekit/routing/quick_task.hpp>

#include <capturekit/platform/text.hpp>

namespace capturekit {

std::optional<QuickTask::Entry> QuickTask::entry(std::string_view text,
                                                 const std::optional<std::string>& device,
                                                 std::string_view ref) {
    auto trimmed = text::trimmedNonEmpty(text);
    if (!trimmed) {
        return std::nullopt;
    }
    // Built field by field: a quick task carries no title, no task fields and no AI opt-out.
    CaptureIngestRequest request;
    request.destination = std::string(rawValue(Destination::docket));
    request.content = *trimmed;
    request.tags = {std::string(tag)};
    request.routeRung = "explicit";
    request.sourceApp = std::string(sourceApp);
    request.sourceRef = std::string(ref);
    request.device = device;
    return Entry{
        .text = std::move(*trimmed), .ref = std::string(ref), .request = std::move(request)};
}

} // namespace capturekit
