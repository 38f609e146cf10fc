#include <capturekit/model/recipe_data.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

OrderedJson RecipeData::toJson() const {
    JsonObjectWriter writer;
    writer.write("name", name);
    writer.write("ingredients", ingredients);
    writer.write("steps", steps);
    writer.write("servings", servings);
    writer.write("totalTime", totalTime);
    writer.write("author", author);
    // Only numbers can fail to encode, and recipe data holds none.
    return *std::move(writer).finish();
}

std::expected<RecipeData, CodingError> RecipeData::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    RecipeData recipe{
        .name = reader.optional<std::string>("name"),
        .ingredients = reader.required<std::vector<std::string>>("ingredients"),
        .steps = reader.required<std::vector<std::string>>("steps"),
        .servings = reader.optional<std::string>("servings"),
        .totalTime = reader.optional<std::string>("totalTime"),
        .author = reader.optional<std::string>("author"),
    };
    return reader.finish(std::move(recipe));
}

} // namespace capturekit
