#include <capturekit/model/capture_ingest_request.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

namespace {

template <RawRepresentable E> std::optional<std::string> rawString(const std::optional<E>& value) {
    if (!value) {
        return std::nullopt;
    }
    return std::string(rawValue(*value));
}

} // namespace

CaptureIngestRequest::CaptureIngestRequest(Arguments arguments)
    : destination(rawString(arguments.destination)), title(std::move(arguments.title)),
      content(std::move(arguments.content)), tags(std::move(arguments.tags)),
      entryType(std::move(arguments.entryType)), screenshot(std::move(arguments.screenshot)),
      url(std::move(arguments.url)), imageURL(std::move(arguments.imageURL)),
      pageText(std::move(arguments.pageText)), audioPath(std::move(arguments.audioPath)),
      transcriptionEngine(std::move(arguments.transcriptionEngine)),
      personID(std::move(arguments.personID)), personName(std::move(arguments.personName)),
      rapportAvatar(arguments.rapportAvatar), routeRung(std::move(arguments.routeRung)),
      socialIdentity(std::move(arguments.socialIdentity)),
      audioMime(std::move(arguments.audioMime)),
      audioDurationSeconds(arguments.audioDurationSeconds),
      audioExpiresAt(std::move(arguments.audioExpiresAt)), recipe(std::move(arguments.recipe)),
      hearthKind(std::move(arguments.hearthKind)), groceryItems(std::move(arguments.groceryItems)),
      createPerson(arguments.createPerson), vendor(std::move(arguments.vendor)),
      attachments(std::move(arguments.attachments)), aiOptOut(arguments.aiOptOut),
      sourceType(std::move(arguments.sourceType)), sourceApp(std::move(arguments.sourceApp)),
      sourceRef(std::move(arguments.sourceRef)), device(std::move(arguments.device)) {
    if (arguments.destination == Destination::cabinet) {
        category = rawString(arguments.category);
    }
    if (arguments.makeTask && arguments.destination != Destination::docket) {
        makeTask = true;
        taskKind = rawString(arguments.taskKind);
        if (arguments.taskDue) {
            taskDue = dates::iso8601(*arguments.taskDue);
        }
    }
}

std::expected<OrderedJson, CodingError> CaptureIngestRequest::toJson() const {
    JsonObjectWriter writer;
    writer.write("destination", destination);
    writer.write("category", category);
    writer.write("title", title);
    writer.write("content", content);
    writer.write("tags", tags);
    writer.write("entry_type", entryType);
    writer.write("screenshot", screenshot);
    writer.write("url", url);
    writer.write("image_url", imageURL);
    writer.write("page_text", pageText);
    writer.write("audio_path", audioPath);
    writer.write("transcription_engine", transcriptionEngine);
    writer.write("person_id", personID);
    writer.write("person_name", personName);
    writer.write("rapport_avatar", rapportAvatar);
    writer.write("route_rung", routeRung);
    writer.write("social_identity", socialIdentity);
    writer.write("audio_mime", audioMime);
    writer.write("audio_duration_seconds", audioDurationSeconds);
    writer.write("audio_expires_at", audioExpiresAt);
    writer.write("recipe", recipe);
    writer.write("hearth_kind", hearthKind);
    writer.write("grocery_items", groceryItems);
    writer.write("create_person", createPerson);
    writer.write("vendor", vendor);
    writer.write("attachments", attachments);
    writer.write("ai_opt_out", aiOptOut);
    writer.write("source_type", sourceType);
    writer.write("source_app", sourceApp);
    writer.write("source_ref", sourceRef);
    writer.write("device", device);
    writer.write("make_task", makeTask);
    writer.write("task_kind", taskKind);
    writer.write("task_due", taskDue);
    return std::move(writer).finish();
}

std::expected<std::string, CodingError> CaptureIngestRequest::encoded() const {
    const auto object = toJson();
    if (!object) {
        return std::unexpected(object.error());
    }
    return json::dump(*object);
}

std::expected<CaptureIngestRequest, CodingError> CaptureIngestRequest::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    CaptureIngestRequest request;
    request.destination = reader.optional<std::string>("destination");
    request.category = reader.optional<std::string>("category");
    request.title = reader.optional<std::string>("title");
    request.content = reader.required<std::string>("content");
    request.tags = reader.required<std::vector<std::string>>("tags");
    request.entryType = reader.optional<std::string>("entry_type");
    request.screenshot = reader.optional<std::string>("screenshot");
    request.url = reader.optional<std::string>("url");
    request.imageURL = reader.optional<std::string>("image_url");
    request.pageText = reader.optional<std::string>("page_text");
    request.audioPath = reader.optional<std::string>("audio_path");
    request.transcriptionEngine = reader.optional<std::string>("transcription_engine");
    request.personID = reader.optional<std::string>("person_id");
    request.personName = reader.optional<std::string>("person_name");
    request.rapportAvatar = reader.optional<bool>("rapport_avatar");
    request.routeRung = reader.optional<std::string>("route_rung");
    request.socialIdentity = reader.optional<SocialIdentityPayload>("social_identity");
    request.audioMime = reader.optional<std::string>("audio_mime");
    request.audioDurationSeconds = reader.optional<double>("audio_duration_seconds");
    request.audioExpiresAt = reader.optional<std::string>("audio_expires_at");
    request.recipe = reader.optional<RecipePayload>("recipe");
    request.hearthKind = reader.optional<std::string>("hearth_kind");
    request.groceryItems = reader.optional<std::vector<GroceryItem>>("grocery_items");
    request.createPerson = reader.optional<bool>("create_person");
    request.vendor = reader.optional<VendorPayload>("vendor");
    request.attachments = reader.optional<std::vector<std::string>>("attachments");
    request.aiOptOut = reader.optional<bool>("ai_opt_out");
    request.sourceType = reader.optional<std::string>("source_type");
    request.sourceApp = reader.optional<std::string>("source_app");
    request.sourceRef = reader.optional<std::string>("source_ref");
    request.device = reader.optional<std::string>("device");
    request.makeTask = reader.optional<bool>("make_task");
    request.taskKind = reader.optional<std::string>("task_kind");
    request.taskDue = reader.optional<std::string>("task_due");
    return reader.finish(std::move(request));
}

std::expected<CaptureIngestRequest, CodingError>
CaptureIngestRequest::decode(std::string_view text) {
    const auto parsed = json::parse(text);
    if (!parsed) {
        return std::unexpected(CodingError::malformedJSON());
    }
    return fromJson(*parsed);
}

} // namespace capturekit
