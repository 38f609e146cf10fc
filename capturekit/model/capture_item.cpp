#include <capturekit/model/capture_item.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

std::expected<OrderedJson, CodingError> CaptureItem::toJson() const {
    JsonObjectWriter writer;
    writer.write("text", text);
    writer.write("url", url);
    writer.write("title", title);
    writer.write("pageText", pageText);
    writer.write("imageURL", imageURL);
    writer.write("screenshotDataURI", screenshotDataURI);
    writer.write("extraScreenshots", extraScreenshots);
    writer.write("keepImagesTogether", keepImagesTogether);
    writer.write("audioPath", audioPath);
    writer.write("transcriptionEngine", transcriptionEngine);
    writer.write("audioDurationSeconds", audioDurationSeconds);
    writer.write("audioExpiresAt", audioExpiresAt);
    writer.write("recipe", recipe);
    writer.write("hearthKind", hearthKind);
    writer.write("contact", contact);
    writer.write("isDictation", isDictation);
    writer.write("surface", surface);
    writer.write("tags", tags);
    writer.write("sourceApp", sourceApp);
    writer.write("sourceTypeHint", sourceTypeHint);
    return std::move(writer).finish();
}

std::expected<CaptureItem, CodingError> CaptureItem::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    CaptureItem item{
        .text = reader.required<std::string>("text"),
        .url = reader.optional<std::string>("url"),
        .title = reader.optional<std::string>("title"),
        .pageText = reader.optional<std::string>("pageText"),
        .imageURL = reader.optional<std::string>("imageURL"),
        .screenshotDataURI = reader.optional<std::string>("screenshotDataURI"),
        .extraScreenshots = reader.required<std::vector<std::string>>("extraScreenshots"),
        .keepImagesTogether = reader.required<bool>("keepImagesTogether"),
        .audioPath = reader.optional<std::string>("audioPath"),
        .transcriptionEngine = reader.optional<std::string>("transcriptionEngine"),
        .audioDurationSeconds = reader.optional<double>("audioDurationSeconds"),
        .audioExpiresAt = reader.optional<Date>("audioExpiresAt"),
        .recipe = reader.optional<RecipeData>("recipe"),
        .hearthKind = reader.optional<std::string>("hearthKind"),
        .contact = reader.optional<ContactCard>("contact"),
        .isDictation = reader.required<bool>("isDictation"),
        .surface = reader.required<CaptureSurface>("surface"),
        .tags = reader.required<std::vector<std::string>>("tags"),
        .sourceApp = reader.optional<std::string>("sourceApp"),
        .sourceTypeHint = reader.optional<std::string>("sourceTypeHint"),
    };
    return reader.finish(std::move(item));
}

} // namespace capturekit
