#pragma once

// A small SQLite layer: one connection behind a lock, prepared statements and transactions.
// Storage faults are exceptional here (a disk that vanished under the server), so they throw a
// DatabaseError that the server turns into a 500 reply.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace devbackend {

class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement {
public:
    Statement(sqlite3* connection, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are numbered from 1, as in SQLite.
    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    Statement& bind(int index, const std::string& text) {
        return bind(index, std::string_view(text));
    }
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, int value) { return bind(index, std::int64_t{value}); }
    Statement& bind(int index, bool value) { return bind(index, std::int64_t{value ? 1 : 0}); }
    Statement& bind(int index, const std::optional<std::string>& text);
    Statement& bindBlob(int index, std::string_view bytes);

    // Advances to the next row; false when there are no more.
    bool step();
    // Runs a statement that returns no rows.
    void run();

    // Columns are numbered from 0.
    std::string text(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const;

private:
    sqlite3* connection_;
    sqlite3_stmt* statement_ = nullptr;
};

class Database {
public:
    // Opens (creating when needed) the database file and its folder, readable by the owner alone.
    explicit Database(const std::filesystem::path& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs `work` inside one immediate transaction while holding the connection; rolls back when
    // it throws. Every access goes through here, so concurrent requests never interleave.
    template <typename Work> auto transaction(Work&& work) -> decltype(work()) {
        const std::lock_guard lock(mutex_);
        execute("BEGIN IMMEDIATE");
        try {
            if constexpr (std::is_void_v<decltype(work())>) {
                work();
                execute("COMMIT");
            } else {
                auto result = work();
                execute("COMMIT");
                return result;
            }
        } catch (...) {
            sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    // Only inside `transaction`.
    Statement prepare(std::string_view sql) { return Statement(connection_, sql); }
    void execute(const char* sql);
    int changes() const;

private:
    sqlite3* connection_ = nullptr;
    std::mutex mutex_;
};

} // namespace devbackend
