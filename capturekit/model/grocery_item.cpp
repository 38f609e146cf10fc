#include <capturekit/model/grocery_item.hpp>

#include <capturekit/model/json_object_reader.hpp>
#include <capturekit/model/json_object_writer.hpp>

namespace capturekit {

std::expected<OrderedJson, CodingError> GroceryItem::toJson() const {
    JsonObjectWriter writer;
    writer.write("name", name);
    writer.write("quantity", quantity);
    writer.write("unit", unit);
    return std::move(writer).finish();
}

std::expected<GroceryItem, CodingError> GroceryItem::fromJson(const Json& json) {
    JsonObjectReader reader(json);
    GroceryItem item{
        .name = reader.required<std::string>("name"),
        .quantity = reader.optional<double>("quantity"),
        .unit = reader.optional<std::string>("unit"),
    };
    return reader.finish(std::move(item));
}

} // namespace capturekit
