#include "device_registry.hpp"

#include "stamps.hpp"

#include <capturekit/platform/crypto.hpp>

namespace devbackend {

namespace {

constexpr const char* columns =
    "id, user_id, name, source, token_hash, created_at, last_used_at FROM ingest_devices";

// Thrown inside the transaction so that a batch with one duplicate adds nothing.
struct DuplicateTokenHash {
    std::string hash;
};

Device readDevice(const Statement& row) {
    return Device{row.text(0), row.text(1), row.optionalText(2), row.optionalText(3),
                  row.text(4), row.text(5), row.optionalText(6)};
}

} // namespace

std::expected<std::vector<Device>, std::string> DeviceRegistry::add(std::vector<Device> devices) {
    const std::string now = stamps::now();
    try {
        return database_.transaction([&] { return insertAll(devices, now); });
    } catch (const DuplicateTokenHash& duplicate) {
        return std::unexpected(duplicate.hash);
    }
}

std::vector<Device> DeviceRegistry::insertAll(std::vector<Device>& devices,
                                              const std::string& now) {
    for (Device& device : devices) {
        auto existing = database_.prepare("SELECT 1 FROM ingest_devices WHERE token_hash = ?");
        existing.bind(1, device.tokenHash);
        if (existing.step()) {
            throw DuplicateTokenHash{device.tokenHash};
        }
        device.id = stamps::newID();
        device.createdAt = now;
        auto insert = database_.prepare(
            "INSERT INTO ingest_devices (id, user_id, name, source, token_hash, created_at) "
            "VALUES (?, ?, ?, ?, ?, ?)");
        insert.bind(1, device.id)
            .bind(2, device.userID)
            .bind(3, device.name)
            .bind(4, device.source)
            .bind(5, device.tokenHash)
            .bind(6, device.createdAt)
            .run();
    }
    return devices;
}

std::optional<Device> DeviceRegistry::findByToken(std::string_view token) {
    const std::string hash = capturekit::crypto::sha256Hex(token);
    return database_.transaction([&]() -> std::optional<Device> {
        auto select = database_.prepare(std::string("SELECT ") + columns + " WHERE token_hash = ?");
        select.bind(1, hash);
        if (!select.step()) {
            return std::nullopt;
        }
        Device device = readDevice(select);
        device.lastUsedAt = stamps::now();
        database_.prepare("UPDATE ingest_devices SET last_used_at = ? WHERE id = ?")
            .bind(1, device.lastUsedAt)
            .bind(2, device.id)
            .run();
        return device;
    });
}

std::vector<Device> DeviceRegistry::list(std::string_view userID) {
    return database_.transaction([&] {
        auto select = database_.prepare(std::string("SELECT ") + columns +
                                        " WHERE user_id = ? ORDER BY created_at, rowid");
        select.bind(1, userID);
        std::vector<Device> devices;
        while (select.step()) {
            devices.push_back(readDevice(select));
        }
        return devices;
    });
}

} // namespace devbackend
