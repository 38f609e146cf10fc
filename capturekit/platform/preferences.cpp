#include <capturekit/platform/preferences.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/json.hpp>
#include <capturekit/platform/paths.hpp>

#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace capturekit {

namespace {

constexpr char databaseFileName[] = "preferences.sqlite3";
// Long enough for another process's short transaction, short enough not to hang a caller when a
// process holds the database locked for good.
constexpr int busyTimeoutMilliseconds = 10000;

// One open connection, shared by every Preferences of the same domain in this process. The
// recursive mutex lets an update's change function read the domain inside the transaction.
struct Database {
    std::recursive_mutex mutex;
    sqlite3* handle = nullptr;

    explicit Database(sqlite3* h) : handle(h) {}
    ~Database() { sqlite3_close_v2(handle); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
};

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Statement prepare(sqlite3* db, std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

bool execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3* openHandle(const std::filesystem::path& file) {
    // Recent capture titles and account state live here: only the user may read them.
    if (!paths::claimPrivateDirectory(file.parent_path()) || paths::restrictDatabaseFiles(file)) {
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
    // Write-ahead logging lets readers run while another process writes; where the file system
    // cannot do it the default journal is still correct.
    execute(db, "PRAGMA journal_mode=WAL");
    execute(db, "PRAGMA synchronous=NORMAL");
    if (!execute(db, "CREATE TABLE IF NOT EXISTS preferences ("
                     "key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value) WITHOUT ROWID")) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

// The process-wide cache of open databases, by file path. Failures are not cached, so a store
// that becomes available later is used from then on.
class DatabaseCache {
public:
    std::shared_ptr<Database> open(const std::filesystem::path& file) {
        std::lock_guard lock(mutex_);
        forgetAfterFork();
        const std::string key = file.lexically_normal().string();
        if (const auto found = databases_.find(key); found != databases_.end()) {
            return found->second;
        }
        sqlite3* handle = openHandle(file);
        if (handle == nullptr) {
            return nullptr;
        }
        auto database = std::make_shared<Database>(handle);
        databases_.emplace(key, database);
        return database;
    }

private:
    // A connection must not be used, nor closed, in a child process: the child starts afresh and
    // abandons the parent's connections.
    void forgetAfterFork() {
        const pid_t pid = ::getpid();
        if (pid == owner_) {
            return;
        }
        for (auto& [path, database] : databases_) {
            new std::shared_ptr<Database>(database); // never destroyed, so never closed
        }
        databases_.clear();
        owner_ = pid;
    }

    std::mutex mutex_;
    pid_t owner_ = ::getpid();
    std::unordered_map<std::string, std::shared_ptr<Database>> databases_;
};

DatabaseCache& databaseCache() {
    static auto* cache = new DatabaseCache; // outlives every static that may still log or store
    return *cache;
}

constexpr char emptyText[] = "";

void bindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text64(statement, index, text.empty() ? emptyText : text.data(), text.size(),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

std::int64_t microsecondsSince2001(Date date) {
    return (date - dates::referenceDate).count();
}

// Binds the value's type name to `typeIndex` and the value to `typeIndex + 1`.
void bindValue(sqlite3_stmt* statement, int typeIndex, const PreferenceValue& value) {
    const int valueIndex = typeIndex + 1;
    const auto bindType = [&](const char* name) {
        bindText(statement, typeIndex, name);
    };
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                bindType("bool");
                sqlite3_bind_int64(statement, valueIndex, v ? 1 : 0);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                bindType("integer");
                sqlite3_bind_int64(statement, valueIndex, v);
            } else if constexpr (std::is_same_v<T, double>) {
                // SQLite keeps a NaN as NULL; a NULL double reads back as NaN.
                bindType("double");
                sqlite3_bind_double(statement, valueIndex, v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                bindType("string");
                bindText(statement, valueIndex, v);
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                bindType("stringList");
                bindText(statement, valueIndex, json::dump(Json(v)));
            } else if constexpr (std::is_same_v<T, Date>) {
                bindType("date");
                sqlite3_bind_int64(statement, valueIndex, microsecondsSince2001(v));
            } else {
                static_assert(std::is_same_v<T, PreferenceBytes>);
                bindType("bytes");
                const void* data = v.empty() ? static_cast<const void*>(emptyText) : v.data();
                sqlite3_bind_blob64(statement, valueIndex, data, v.size(), SQLITE_TRANSIENT);
            }
        },
        value);
}

std::string columnText(sqlite3_stmt* statement, int index) {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    const int size = sqlite3_column_bytes(statement, index);
    return data == nullptr ? std::string() : std::string(data, static_cast<std::size_t>(size));
}

std::optional<std::vector<std::string>> decodeStringList(const std::string& text) {
    const auto parsed = json::parse(text);
    if (!parsed || !parsed->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> list;
    list.reserve(parsed->size());
    for (const auto& element : *parsed) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        list.push_back(element.get<std::string>());
    }
    return list;
}

// Decodes the value column (index 1) by the type name in column 0. A row whose storage class does
// not fit its type name (a hand-edited database) reads as absent.
std::optional<PreferenceValue> decodeRow(sqlite3_stmt* statement) {
    const std::string type = columnText(statement, 0);
    const int storage = sqlite3_column_type(statement, 1);
    if (type == "bool" && storage == SQLITE_INTEGER) {
        return PreferenceValue(sqlite3_column_int64(statement, 1) != 0);
    }
    if (type == "integer" && storage == SQLITE_INTEGER) {
        return PreferenceValue(static_cast<std::int64_t>(sqlite3_column_int64(statement, 1)));
    }
    if (type == "double" && (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER)) {
        return PreferenceValue(sqlite3_column_double(statement, 1));
    }
    if (type == "double" && storage == SQLITE_NULL) {
        return PreferenceValue(std::numeric_limits<double>::quiet_NaN());
    }
    if (type == "string" && storage == SQLITE_TEXT) {
        return PreferenceValue(columnText(statement, 1));
    }
    if (type == "stringList" && storage == SQLITE_TEXT) {
        if (auto list = decodeStringList(columnText(statement, 1))) {
            return PreferenceValue(std::move(*list));
        }
        return std::nullopt;
    }
    if (type == "date" && storage == SQLITE_INTEGER) {
        return PreferenceValue(Date(dates::referenceDate +
                                    std::chrono::microseconds(sqlite3_column_int64(statement, 1))));
    }
    if (type == "bytes" && storage == SQLITE_BLOB) {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 1));
        const int size = sqlite3_column_bytes(statement, 1);
        return PreferenceValue(PreferenceBytes(data, data + size));
    }
    return std::nullopt;
}

std::optional<PreferenceValue> readValue(sqlite3* db, std::string_view key) {
    const auto statement = prepare(db, "SELECT type, value FROM preferences WHERE key = ?1");
    if (!statement) {
        return std::nullopt;
    }
    bindText(statement.get(), 1, key);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    return decodeRow(statement.get());
}

bool writeValue(sqlite3* db, std::string_view key, const PreferenceValue& value) {
    const auto statement =
        prepare(db, "INSERT INTO preferences (key, type, value) VALUES (?1, ?2, ?3) "
                    "ON CONFLICT (key) DO UPDATE SET type = excluded.type, value = excluded.value");
    if (!statement) {
        return false;
    }
    bindText(statement.get(), 1, key);
    bindValue(statement.get(), 2, value);
    return sqlite3_step(statement.get()) == SQLITE_DONE;
}

bool removeValue(sqlite3* db, std::string_view key) {
    const auto statement = prepare(db, "DELETE FROM preferences WHERE key = ?1");
    if (!statement) {
        return false;
    }
    bindText(statement.get(), 1, key);
    return sqlite3_step(statement.get()) == SQLITE_DONE;
}

bool store(sqlite3* db, std::string_view key, const std::optional<PreferenceValue>& value) {
    return value ? writeValue(db, key, *value) : removeValue(db, key);
}

} // namespace

Preferences::Preferences(std::string domain)
    : Preferences(std::move(domain), paths::configHome()) {}

Preferences::Preferences(std::string domain, std::filesystem::path baseFolder)
    : domain_(std::move(domain)), baseFolder_(std::move(baseFolder)) {}

Preferences Preferences::standard() {
    return Preferences(application::identifier());
}

std::optional<std::filesystem::path> Preferences::databasePath() const {
    if (!paths::isPlainComponent(domain_) || baseFolder_.empty()) {
        return std::nullopt;
    }
    return baseFolder_ / domain_ / databaseFileName;
}

namespace {

std::shared_ptr<Database> openDatabase(const std::optional<std::filesystem::path>& file) {
    return file ? databaseCache().open(*file) : nullptr;
}

} // namespace

bool Preferences::isAvailable() const {
    return openDatabase(databasePath()) != nullptr;
}

std::optional<PreferenceValue> Preferences::value(std::string_view key) const {
    const auto database = openDatabase(databasePath());
    if (!database) {
        return std::nullopt;
    }
    std::lock_guard lock(database->mutex);
    return readValue(database->handle, key);
}

bool Preferences::set(std::string_view key, const PreferenceValue& value) const {
    const auto database = openDatabase(databasePath());
    if (!database) {
        return false;
    }
    std::lock_guard lock(database->mutex);
    return writeValue(database->handle, key, value);
}

bool Preferences::remove(std::string_view key) const {
    const auto database = openDatabase(databasePath());
    if (!database) {
        return false;
    }
    std::lock_guard lock(database->mutex);
    return removeValue(database->handle, key);
}

bool Preferences::update(std::string_view key, const Change& change) const {
    const auto database = openDatabase(databasePath());
    if (!database) {
        return false;
    }
    std::lock_guard lock(database->mutex);
    sqlite3* db = database->handle;
    // IMMEDIATE takes the write lock before reading, so no other writer can slip in between the
    // read and the write.
    if (!execute(db, "BEGIN IMMEDIATE")) {
        return false;
    }
    std::optional<PreferenceValue> replacement;
    try {
        replacement = change(readValue(db, key));
    } catch (...) {
        execute(db, "ROLLBACK");
        throw;
    }
    if (store(db, key, replacement) && execute(db, "COMMIT")) {
        return true;
    }
    execute(db, "ROLLBACK");
    return false;
}

std::vector<std::string> Preferences::keys() const {
    std::vector<std::string> result;
    const auto database = openDatabase(databasePath());
    if (!database) {
        return result;
    }
    std::lock_guard lock(database->mutex);
    const auto statement = prepare(database->handle, "SELECT key FROM preferences ORDER BY key");
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
        result.push_back(columnText(statement.get(), 0));
    }
    return result;
}

} // namespace capturekit
