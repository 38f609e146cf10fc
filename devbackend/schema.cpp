#include "schema.hpp"

#include <capturekit/platform/crypto.hpp>

namespace devbackend::schema {

namespace {

constexpr const char* tables = R"sql(
CREATE TABLE IF NOT EXISTS settings (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS users (
    id TEXT PRIMARY KEY,
    email TEXT NOT NULL UNIQUE,
    password_salt TEXT NOT NULL,
    password_iterations INTEGER NOT NULL,
    password_hash TEXT NOT NULL,
    created_at TEXT NOT NULL,
    last_sign_in_at TEXT
);
CREATE TABLE IF NOT EXISTS sessions (
    id TEXT PRIMARY KEY,
    user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    created_at TEXT NOT NULL,
    revoked INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS refresh_tokens (
    token TEXT PRIMARY KEY,
    session_id TEXT NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    parent TEXT,
    revoked INTEGER NOT NULL DEFAULT 0,
    created_at TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS refresh_tokens_session ON refresh_tokens(session_id);
CREATE TABLE IF NOT EXISTS ingest_devices (
    id TEXT PRIMARY KEY,
    user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    name TEXT,
    source TEXT,
    token_hash TEXT NOT NULL UNIQUE,
    created_at TEXT NOT NULL,
    last_used_at TEXT
);
CREATE TABLE IF NOT EXISTS app_settings (
    user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    app_key TEXT NOT NULL,
    enabled INTEGER NOT NULL,
    PRIMARY KEY (user_id, app_key)
);
CREATE TABLE IF NOT EXISTS people (
    user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    id TEXT NOT NULL,
    name TEXT NOT NULL,
    PRIMARY KEY (user_id, id)
);
CREATE TABLE IF NOT EXISTS entries (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    id TEXT NOT NULL UNIQUE,
    user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    device_id TEXT,
    requested_destination TEXT,
    destination TEXT NOT NULL,
    category TEXT,
    status TEXT NOT NULL,
    route_state TEXT,
    idempotency_key TEXT,
    body TEXT NOT NULL,
    created_at TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS entries_user ON entries(user_id, seq);
CREATE TABLE IF NOT EXISTS idempotent_replies (
    user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    key TEXT NOT NULL,
    status INTEGER NOT NULL,
    body TEXT NOT NULL,
    created_at TEXT NOT NULL,
    PRIMARY KEY (user_id, key)
);
CREATE TABLE IF NOT EXISTS objects (
    bucket TEXT NOT NULL,
    path TEXT NOT NULL,
    id TEXT NOT NULL,
    owner TEXT NOT NULL,
    content_type TEXT NOT NULL,
    data BLOB NOT NULL,
    created_at TEXT NOT NULL,
    updated_at TEXT NOT NULL,
    PRIMARY KEY (bucket, path)
);
CREATE TABLE IF NOT EXISTS requests (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    received_at TEXT NOT NULL,
    method TEXT NOT NULL,
    path TEXT NOT NULL,
    query TEXT NOT NULL,
    headers TEXT NOT NULL,
    body BLOB NOT NULL,
    body_size INTEGER NOT NULL,
    status INTEGER NOT NULL,
    outcome TEXT NOT NULL
);
)sql";

} // namespace

std::string prepare(Database& database) {
    return database.transaction([&] {
        database.execute(tables);
        auto select = database.prepare("SELECT value FROM settings WHERE key = 'jwt_secret'");
        if (select.step()) {
            return select.text(0);
        }
        const auto bytes = capturekit::crypto::secureRandomBytes(32);
        std::string secret = capturekit::crypto::hex(bytes.data(), bytes.size());
        database.prepare("INSERT INTO settings (key, value) VALUES ('jwt_secret', ?)")
            .bind(1, secret)
            .run();
        return secret;
    });
}

} // namespace devbackend::schema
