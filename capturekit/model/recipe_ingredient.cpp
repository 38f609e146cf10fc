#include <capturekit/model/recipe_ingredient.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

std::expected<OrderedJson, CodingError> RecipeIngredient::toJson() const {
    JsonObjectWriter writer;
    writer.write("name", name);
    writer.write("quantity", quantity);
    writer.write("unit", unit);
    writer.write("note", note);
    return std::move(writer).finish();
}

std::expected<RecipeIngredient, CodingError> RecipeIngredient::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    RecipeIngredient ingredient{
        .name = reader.required<std::string>("name"),
        .quantity = reader.optional<double>("quantity"),
        .unit = reader.optional<std::string>("unit"),
        .note = reader.optional<std::string>("note"),
    };
    return reader.finish(std::move(ingredient));
}

} // namespace capturekit
