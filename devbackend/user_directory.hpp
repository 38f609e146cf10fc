#pragma once

// The accounts: e-mail addresses with salted password hashes.

#include "database.hpp"

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace devbackend {

struct User {
    std::string id{}; // lower-case UUID
    std::string email{};
    std::string createdAt{};
    std::optional<std::string> lastSignInAt{};
};

enum class AddUserError { invalidEmail, weakPassword, alreadyExists };

std::string describe(AddUserError error);

class UserDirectory {
public:
    explicit UserDirectory(Database& database) : database_(database) {}

    std::expected<User, AddUserError> add(std::string_view email, std::string_view password);
    // The user whose password matches, with the sign-in time recorded; absent for an unknown
    // e-mail address or a wrong password alike.
    std::optional<User> signIn(std::string_view email, std::string_view password);
    std::optional<User> findByID(std::string_view id);
    // By id or by e-mail address.
    std::optional<User> find(std::string_view idOrEmail);

    // E-mail addresses compare without case and surrounding white space.
    static std::string normalizedEmail(std::string_view email);

private:
    std::optional<User> findWhere(const char* column, std::string_view value);

    Database& database_;
};

} // namespace devbackend
