#pragma once

// Typed preferences of one domain, kept in an SQLite database at
// $XDG_CONFIG_HOME/<domain>/preferences.sqlite3 and shared by every process that opens the same
// domain. The folder is kept at mode 0700 and the database files at 0600. A key is either absent
// or holds one value of one type; reading it as another type gives absent. Storage is best effort:
// when the database cannot be opened, reads give absent and writes report false and change nothing.
// No operation throws (an update passes on only what its own change function throws, after undoing
// the transaction).

#include <capturekit/platform/date_time.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace capturekit {

using PreferenceBytes = std::vector<std::uint8_t>;
using PreferenceValue = std::variant<bool, std::int64_t, double, std::string,
                                     std::vector<std::string>, Date, PreferenceBytes>;

class Preferences {
public:
    // The domain's store under configHome() as it is now.
    explicit Preferences(std::string domain);
    // The domain's store under another base folder (tests, tools).
    Preferences(std::string domain, std::filesystem::path baseFolder);

    // The application's own domain, named by its application id.
    static Preferences standard();

    const std::string& domain() const { return domain_; }
    // Absent when the domain name cannot name a folder.
    std::optional<std::filesystem::path> databasePath() const;
    // Whether the database can be opened now.
    bool isAvailable() const;

    std::optional<PreferenceValue> value(std::string_view key) const;

    // The stored value when it has type T (one of PreferenceValue's alternatives).
    template <typename T> std::optional<T> get(std::string_view key) const {
        auto stored = value(key);
        if (!stored) {
            return std::nullopt;
        }
        if (auto* typed = std::get_if<T>(&*stored)) {
            return std::move(*typed);
        }
        return std::nullopt;
    }

    bool set(std::string_view key, const PreferenceValue& value) const;
    // Removing an absent key succeeds.
    bool remove(std::string_view key) const;

    // Read-modify-write of one key in one transaction, which no other process or thread can
    // interleave with: `change` gets the stored value (absent when there is none) and returns the
    // value to store, or absent to remove the key. It runs at most once; it may read this domain
    // but must not wait for another thread that uses it. False when nothing could be written.
    using Change = std::function<std::optional<PreferenceValue>(std::optional<PreferenceValue>)>;
    bool update(std::string_view key, const Change& change) const;

    // Every stored key, in byte order.
    std::vector<std::string> keys() const;

private:
    std::string domain_;
    std::filesystem::path baseFolder_;
};

} // namespace capturekit
