#include "database.hpp"

#include <capturekit/platform/paths.hpp>

#include <system_error>

namespace devbackend {

namespace {

[[noreturn]] void fail(sqlite3* connection, std::string_view what) {
    throw DatabaseError(std::string(what) + ": " + sqlite3_errmsg(connection));
}

} // namespace

Statement::Statement(sqlite3* connection, std::string_view sql) : connection_(connection) {
    if (sqlite3_prepare_v2(connection, sql.data(), static_cast<int>(sql.size()), &statement_,
                           nullptr) != SQLITE_OK) {
        fail(connection, "prepare");
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK) {
        fail(connection_, "bind");
    }
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) {
        fail(connection_, "bind");
    }
    return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
    if (text) {
        return bind(index, std::string_view(*text));
    }
    if (sqlite3_bind_null(statement_, index) != SQLITE_OK) {
        fail(connection_, "bind");
    }
    return *this;
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
    if (sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT) !=
        SQLITE_OK) {
        fail(connection_, "bind");
    }
    return *this;
}

bool Statement::step() {
    switch (sqlite3_step(statement_)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    default:
        fail(connection_, "step");
    }
}

void Statement::run() {
    while (step()) {
    }
}

std::string Statement::text(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

std::optional<std::string> Statement::optionalText(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    return text(column);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

Database::Database(const std::filesystem::path& path) {
    // It holds the token-signing secret, every capture and the request log: missing folders are
    // made 0700, and the files (SQLite's side files included) are the owner's alone.
    if (path.has_parent_path()) {
        capturekit::paths::ensurePrivateDirectory(path.parent_path());
    }
    if (const auto error = capturekit::paths::restrictDatabaseFiles(path)) {
        throw DatabaseError("cannot open " + path.string() + ": " + error.message());
    }
    if (sqlite3_open_v2(path.c_str(), &connection_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message =
            connection_ != nullptr ? sqlite3_errmsg(connection_) : "out of memory";
        sqlite3_close(connection_);
        throw DatabaseError("cannot open " + path.string() + ": " + message);
    }
    sqlite3_busy_timeout(connection_, 5000);
    execute("PRAGMA journal_mode = WAL");
    execute("PRAGMA synchronous = NORMAL");
    execute("PRAGMA foreign_keys = ON");
}

Database::~Database() {
    sqlite3_close(connection_);
}

void Database::execute(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(connection_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        throw DatabaseError(text);
    }
}

int Database::changes() const {
    return sqlite3_changes(connection_);
}

} // namespace devbackend
