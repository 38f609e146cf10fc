#pragma once

// The people each user already has in the people app. Avatars and person matches are checked
// against them.

#include "database.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devbackend {

struct Person {
    std::string id{};
    std::string name{};
};

class KnownPeople {
public:
    explicit KnownPeople(Database& database) : database_(database) {}

    std::vector<Person> list(std::string_view userID);
    // Replaces the user's people; a person without an id gets a new one.
    std::vector<Person> replace(std::string_view userID, std::vector<Person> people);

    // The person with this id, else the person whose name matches without case and surrounding
    // white space.
    static std::optional<Person> match(const std::vector<Person>& people,
                                       const std::optional<std::string>& id,
                                       const std::optional<std::string>& name);

private:
    Database& database_;
};

} // namespace devbackend
