#include "object_store.hpp"

#include "stamps.hpp"

namespace devbackend {

std::expected<StoredObject, WriteError> ObjectStore::write(StoredObject object, WriteMode mode) {
    const std::string now = stamps::now();
    return database_.transaction([&]() -> std::expected<StoredObject, WriteError> {
        auto existing =
            database_.prepare("SELECT id, created_at FROM objects WHERE bucket = ? AND path = ?");
        existing.bind(1, object.bucket).bind(2, object.path);
        const bool exists = existing.step();
        if (exists && mode == WriteMode::create) {
            return std::unexpected(WriteError::exists);
        }
        if (!exists && mode == WriteMode::replace) {
            return std::unexpected(WriteError::missing);
        }
        object.id = exists ? existing.text(0) : stamps::newID();
        object.createdAt = exists ? existing.text(1) : now;
        object.updatedAt = now;
        database_
            .prepare("INSERT OR REPLACE INTO objects (bucket, path, id, owner, content_type, data, "
                     "created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, object.bucket)
            .bind(2, object.path)
            .bind(3, object.id)
            .bind(4, object.owner)
            .bind(5, object.contentType)
            .bindBlob(6, object.data)
            .bind(7, object.createdAt)
            .bind(8, object.updatedAt)
            .run();
        return object;
    });
}

std::optional<StoredObject> ObjectStore::read(std::string_view bucket, std::string_view path) {
    return database_.transaction([&]() -> std::optional<StoredObject> {
        auto select = database_.prepare(
            "SELECT id, owner, content_type, data, created_at, updated_at FROM objects "
            "WHERE bucket = ? AND path = ?");
        select.bind(1, bucket).bind(2, path);
        if (!select.step()) {
            return std::nullopt;
        }
        return StoredObject{std::string(bucket), std::string(path), select.text(0), select.text(1),
                            select.text(2),      select.text(3),    select.text(4), select.text(5)};
    });
}

bool ObjectStore::remove(std::string_view bucket, std::string_view path) {
    return database_.transaction([&] {
        database_.prepare("DELETE FROM objects WHERE bucket = ? AND path = ?")
            .bind(1, bucket)
            .bind(2, path)
            .run();
        return database_.changes() > 0;
    });
}

} // namespace devbackend
