#pragma once

// Stored objects of the media bucket.

#include "database.hpp"

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace devbackend {

struct StoredObject {
    std::string bucket{};
    std::string path{};
    std::string id{};
    std::string owner{};
    std::string contentType{};
    std::string data{};
    std::string createdAt{};
    std::string updatedAt{};
};

enum class WriteMode {
    create, // fails when the object exists
    upsert, // creates or replaces
    replace // fails when the object does not exist
};

enum class WriteError { exists, missing };

class ObjectStore {
public:
    explicit ObjectStore(Database& database) : database_(database) {}

    std::expected<StoredObject, WriteError> write(StoredObject object, WriteMode mode);
    std::optional<StoredObject> read(std::string_view bucket, std::string_view path);
    bool remove(std::string_view bucket, std::string_view path);

private:
    Database& database_;
};

} // namespace devbackend
