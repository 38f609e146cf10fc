#include "user_directory.hpp"

#include "stamps.hpp"

#include "password_hash.hpp"

#include <capturekit/platform/text.hpp>

namespace devbackend {

namespace text = capturekit::text;

namespace {

constexpr std::size_t minimumPasswordLength = 6;

bool plausibleEmail(std::string_view email) {
    const std::size_t at = email.find('@');
    return at != std::string_view::npos && at > 0 && at + 1 < email.size() &&
           email.find('@', at + 1) == std::string_view::npos &&
           email.find_first_of(" \t\r\n") == std::string_view::npos && email.size() <= 254;
}

} // namespace

std::string describe(AddUserError error) {
    switch (error) {
    case AddUserError::invalidEmail:
        return "Unable to validate email address: invalid format";
    case AddUserError::weakPassword:
        return "Password should be at least 6 characters.";
    case AddUserError::alreadyExists:
        return "A user with this email address has already been registered";
    }
    return "Unable to add the user";
}

std::string UserDirectory::normalizedEmail(std::string_view email) {
    return text::lowercased(text::trimmed(email));
}

std::expected<User, AddUserError> UserDirectory::add(std::string_view email,
                                                     std::string_view password) {
    const std::string normalized = normalizedEmail(email);
    if (!text::isValidUTF8(normalized) || !plausibleEmail(normalized)) {
        return std::unexpected(AddUserError::invalidEmail);
    }
    if (text::characterCount(password) < minimumPasswordLength) {
        return std::unexpected(AddUserError::weakPassword);
    }
    const PasswordHash hash = PasswordHash::make(password);
    User user{.id = stamps::newID(), .email = normalized, .createdAt = stamps::now()};
    const bool added = database_.transaction([&] {
        auto insert = database_.prepare(
            "INSERT OR IGNORE INTO users (id, email, password_salt, password_iterations, "
            "password_hash, created_at) VALUES (?, ?, ?, ?, ?, ?)");
        insert.bind(1, user.id)
            .bind(2, user.email)
            .bind(3, hash.salt)
            .bind(4, hash.iterations)
            .bind(5, hash.hash)
            .bind(6, user.createdAt)
            .run();
        return database_.changes() == 1;
    });
    if (!added) {
        return std::unexpected(AddUserError::alreadyExists);
    }
    return user;
}

std::optional<User> UserDirectory::signIn(std::string_view email, std::string_view password) {
    struct Stored {
        User user;
        PasswordHash hash;
    };
    const std::string normalized = normalizedEmail(email);
    const auto stored = database_.transaction([&]() -> std::optional<Stored> {
        auto select = database_.prepare(
            "SELECT id, email, created_at, last_sign_in_at, password_salt, password_iterations, "
            "password_hash FROM users WHERE email = ?");
        select.bind(1, normalized);
        if (!select.step()) {
            return std::nullopt;
        }
        return Stored{
            User{select.text(0), select.text(1), select.text(2), select.optionalText(3)},
            PasswordHash{select.text(4), static_cast<int>(select.integer(5)), select.text(6)}};
    });
    if (!stored) {
        // Spend the same time as for a known address, so timing does not reveal accounts.
        static const PasswordHash decoy = PasswordHash::make("decoy password");
        (void)decoy.matches(password);
        return std::nullopt;
    }
    if (!stored->hash.matches(password)) {
        return std::nullopt;
    }
    User user = stored->user;
    user.lastSignInAt = stamps::now();
    database_.transaction([&] {
        database_.prepare("UPDATE users SET last_sign_in_at = ? WHERE id = ?")
            .bind(1, user.lastSignInAt)
            .bind(2, user.id)
            .run();
    });
    return user;
}

std::optional<User> UserDirectory::findWhere(const char* column, std::string_view value) {
    return database_.transaction([&]() -> std::optional<User> {
        auto select = database_.prepare(
            std::string("SELECT id, email, created_at, last_sign_in_at FROM users WHERE ") +
            column + " = ?");
        select.bind(1, value);
        if (!select.step()) {
            return std::nullopt;
        }
        return User{select.text(0), select.text(1), select.text(2), select.optionalText(3)};
    });
}

std::optional<User> UserDirectory::findByID(std::string_view id) {
    return findWhere("id", id);
}

std::optional<User> UserDirectory::find(std::string_view idOrEmail) {
    if (auto user = findByID(idOrEmail)) {
        return user;
    }
    return findWhere("email", normalizedEmail(idOrEmail));
}

} // namespace devbackend
