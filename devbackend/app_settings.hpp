#pragma once

// Which of the suite's apps each user has switched on. An app without a stored setting is on.

#include "database.hpp"

#include <map>
#include <string>
#include <string_view>

namespace devbackend {

class AppSettings {
public:
    explicit AppSettings(Database& database) : database_(database) {}

    // Stored settings only, by app key.
    std::map<std::string, bool> settings(std::string_view userID);
    bool isEnabled(std::string_view userID, std::string_view appKey);
    // Merges the given settings into the stored ones.
    void update(std::string_view userID, const std::map<std::string, bool>& changes);

private:
    Database& database_;
};

} // namespace devbackend
