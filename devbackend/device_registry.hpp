#pragma once

// Registered ingest devices. Only the SHA-256 of a device token is kept; the token itself is
// presented as the bearer of each capture.

#include "database.hpp"

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devbackend {

struct Device {
    std::string id{};
    std::string userID{};
    std::optional<std::string> name{};
    std::optional<std::string> source{};
    std::string tokenHash{};
    std::string createdAt{};
    std::optional<std::string> lastUsedAt{};
};

class DeviceRegistry {
public:
    explicit DeviceRegistry(Database& database) : database_(database) {}

    // Adds every device or none; fails with the first token hash that is already registered.
    std::expected<std::vector<Device>, std::string> add(std::vector<Device> devices);
    // The device whose token this is, with its use recorded.
    std::optional<Device> findByToken(std::string_view token);
    std::vector<Device> list(std::string_view userID);

private:
    std::vector<Device> insertAll(std::vector<Device>& devices, const std::string& now);

    Database& database_;
};

} // namespace devbackend
