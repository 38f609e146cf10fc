#include "known_people.hpp"

#include "stamps.hpp"

#include <capturekit/platform/text.hpp>

namespace devbackend {

namespace text = capturekit::text;

std::vector<Person> KnownPeople::list(std::string_view userID) {
    return database_.transaction([&] {
        auto select =
            database_.prepare("SELECT id, name FROM people WHERE user_id = ? ORDER BY rowid");
        select.bind(1, userID);
        std::vector<Person> people;
        while (select.step()) {
            people.push_back(Person{select.text(0), select.text(1)});
        }
        return people;
    });
}

std::vector<Person> KnownPeople::replace(std::string_view userID, std::vector<Person> people) {
    for (Person& person : people) {
        if (person.id.empty()) {
            person.id = stamps::newID();
        }
    }
    database_.transaction([&] {
        database_.prepare("DELETE FROM people WHERE user_id = ?").bind(1, userID).run();
        for (const Person& person : people) {
            database_.prepare("INSERT OR REPLACE INTO people (id, user_id, name) VALUES (?, ?, ?)")
                .bind(1, person.id)
                .bind(2, userID)
                .bind(3, person.name)
                .run();
        }
    });
    return people;
}

std::optional<Person> KnownPeople::match(const std::vector<Person>& people,
                                         const std::optional<std::string>& id,
                                         const std::optional<std::string>& name) {
    if (id) {
        for (const Person& person : people) {
            if (person.id == *id) {
                return person;
            }
        }
    }
    if (name) {
        const std::string wanted = text::lowercased(text::trimmed(*name));
        for (const Person& person : people) {
            if (!wanted.empty() && text::lowercased(text::trimmed(person.name)) == wanted) {
                return person;
            }
        }
    }
    return std::nullopt;
}

} // namespace devbackend
