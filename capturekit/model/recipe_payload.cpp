#include <capturekit/model/recipe_payload.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

std::expected<OrderedJson, CodingError> RecipePayload::toJson() const {
    JsonObjectWriter writer;
    writer.write("title", title);
    writer.write("source_url", sourceURL);
    writer.write("image_url", imageURL);
    writer.write("ingredients", ingredients);
    writer.write("steps", steps);
    writer.write("servings", servings);
    writer.write("total_minutes", totalMinutes);
    return std::move(writer).finish();
}

std::expected<RecipePayload, CodingError> RecipePayload::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    RecipePayload payload{
        .title = reader.required<std::string>("title"),
        .sourceURL = reader.optional<std::string>("source_url"),
        .imageURL = reader.optional<std::string>("image_url"),
        .ingredients = reader.required<std::vector<RecipeIngredient>>("ingredients"),
        .steps = reader.required<std::vector<std::string>>("steps"),
        .servings = reader.optional<std::int64_t>("servings"),
        .totalMinutes = reader.optional<std::int64_t>("total_minutes"),
    };
    return reader.finish(std::move(payload));
}

} // namespace capturekit
