#include "app_settings.hpp"

namespace devbackend {

std::map<std::string, bool> AppSettings::settings(std::string_view userID) {
    return database_.transaction([&] {
        auto select =
            database_.prepare("SELECT app_key, enabled FROM app_settings WHERE user_id = ?");
        select.bind(1, userID);
        std::map<std::string, bool> result;
        while (select.step()) {
            result.emplace(select.text(0), select.integer(1) != 0);
        }
        return result;
    });
}

bool AppSettings::isEnabled(std::string_view userID, std::string_view appKey) {
    const auto stored = settings(userID);
    const auto it = stored.find(std::string(appKey));
    return it == stored.end() || it->second;
}

void AppSettings::update(std::string_view userID, const std::map<std::string, bool>& changes) {
    database_.transaction([&] {
        for (const auto& [appKey, enabled] : changes) {
            database_
                .prepare("INSERT INTO app_settings (user_id, app_key, enabled) VALUES (?, ?, ?) "
                         "ON CONFLICT (user_id, app_key) DO UPDATE SET enabled = excluded.enabled")
                .bind(1, userID)
                .bind(2, appKey)
                .bind(3, enabled)
                .run();
        }
    });
}

} // namespace devbackend
