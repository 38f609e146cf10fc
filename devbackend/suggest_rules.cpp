#include "suggest_rules.hpp"

#include <capturekit/platform/text.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <string_view>

namespace devbackend::suggest_rules {

using capturekit::Json;
namespace text = capturekit::text;

namespace {

constexpr std::size_t maximumTitleLength = 80;

struct Candidate {
    std::string destination;
    double confidence = 0;
    std::string reason;
    std::string entryType;
    std::optional<std::string> hearthKind;
    std::optional<std::string> cabinetCategory;
};

struct KeywordRule {
    std::initializer_list<std::string_view> phrases;
    std::string_view destination;
    double confidence;
    std::string_view entryType;
    std::optional<std::string_view> hearthKind;
    std::optional<std::string_view> cabinetCategory;
};

// In order of precedence when two rules are equally sure.
const std::array keywordRules = {
    KeywordRule{{"recipe", "ingredients", "tbsp", "tsp", "tablespoon", "teaspoon", "preheat"},
                "hearth",
                0.85,
                "recipe",
                "recipe",
                std::nullopt},
    KeywordRule{{"plumber", "electrician", "handyman", "contractor", "vendor", "landscaper"},
                "hearth",
                0.8,
                "vendor",
                "vendor",
                std::nullopt},
    KeywordRule{{"grocery", "groceries", "shopping list"},
                "hearth",
                0.8,
                "groceries",
                std::nullopt,
                std::nullopt},
    KeywordRule{{"todo", "to-do", "to do", "remind me", "don't forget", "deadline", "call", "pay",
                 "buy", "schedule", "tomorrow"},
                "docket",
                0.75,
                "task",
                std::nullopt,
                std::nullopt},
    KeywordRule{{"video game", "steam", "nintendo", "playstation", "xbox"},
                "cabinet",
                0.72,
                "collection_item",
                std::nullopt,
                "video_games"},
    KeywordRule{{"board game", "card game", "boardgame"},
                "cabinet",
                0.72,
                "collection_item",
                std::nullopt,
                "games"},
    KeywordRule{{"book", "novel", "author", "paperback"},
                "cabinet",
                0.7,
                "collection_item",
                std::nullopt,
                "books"},
    KeywordRule{{"movie", "film", "tv show", "series", "episode"},
                "cabinet",
                0.7,
                "collection_item",
                std::nullopt,
                "movies_shows"},
    KeywordRule{{"podcast"}, "cabinet", 0.7, "collection_item", std::nullopt, "podcasts"},
    KeywordRule{{"lego"}, "cabinet", 0.7, "collection_item", std::nullopt, "legos"},
    KeywordRule{{"3d model", "3d print", "stl"},
                "cabinet",
                0.7,
                "collection_item",
                std::nullopt,
                "models_3d"},
    KeywordRule{{"yugioh", "yu-gi-oh"}, "cabinet", 0.7, "collection_item", std::nullopt, "yugioh"},
    KeywordRule{{"crochet"}, "cabinet", 0.7, "collection_item", std::nullopt, "crochet_patterns"},
    KeywordRule{{"wooble", "woobles"}, "cabinet", 0.7, "collection_item", std::nullopt, "woobles"},
    KeywordRule{{"pop mart", "popmart", "labubu"},
                "cabinet",
                0.7,
                "collection_item",
                std::nullopt,
                "popmart"},
    KeywordRule{{"i feel", "i felt", "grateful", "dear diary", "today i"},
                "bloom",
                0.6,
                "reflection",
                std::nullopt,
                std::nullopt},
};

struct HostRule {
    std::string_view domain;
    std::string_view destination;
    std::string_view entryType;
    std::optional<std::string_view> cabinetCategory;
};

const std::array hostRules = {
    HostRule{"goodreads.com", "cabinet", "collection_item", "books"},
    HostRule{"imdb.com", "cabinet", "collection_item", "movies_shows"},
    HostRule{"boardgamegeek.com", "cabinet", "collection_item", "games"},
    HostRule{"store.steampowered.com", "cabinet", "collection_item", "video_games"},
    HostRule{"instagram.com", "rapport", "social_profile", std::nullopt},
    HostRule{"x.com", "rapport", "social_profile", std::nullopt},
    HostRule{"twitter.com", "rapport", "social_profile", std::nullopt},
    HostRule{"linkedin.com", "rapport", "social_profile", std::nullopt},
};

// Destinations a tag may name; "diary" is the reflections app's name. The hand-picked-only
// destination is never suggested.
const std::array<std::pair<std::string_view, std::string_view>, 8> tagDestinations = {{
    {"stash", "stash"},
    {"docket", "docket"},
    {"cabinet", "cabinet"},
    {"rapport", "rapport"},
    {"bloom", "bloom"},
    {"diary", "bloom"},
    {"pulse", "pulse"},
    {"hearth", "hearth"},
}};

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::optional<std::size_t> findWord(std::string_view haystack, std::string_view phrase) {
    for (std::size_t at = haystack.find(phrase); at != std::string_view::npos;
         at = haystack.find(phrase, at + 1)) {
        const bool startsWord = at == 0 || !isWordCharacter(haystack[at - 1]);
        const std::size_t end = at + phrase.size();
        const bool endsWord = end == haystack.size() || !isWordCharacter(haystack[end]);
        if (startsWord && endsWord) {
            return at;
        }
    }
    return std::nullopt;
}

std::optional<std::string> hostOf(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        rest = rest.substr(at + 1);
    }
    rest = rest.substr(0, rest.find(':'));
    std::string host = text::lowercased(rest);
    if (host.starts_with("www.")) {
        host.erase(0, 4);
    }
    return host.empty() ? std::nullopt : std::optional(host);
}

bool hostMatches(std::string_view host, std::string_view domain) {
    return host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                              host[host.size() - domain.size() - 1] == '.');
}

void addTagCandidates(const SuggestInput& input, std::vector<Candidate>& candidates) {
    for (const std::string& tag : input.tags) {
        std::string name = text::lowercased(text::trimmed(tag));
        if (name.starts_with('#')) {
            name.erase(0, 1);
        }
        for (const auto& [tagName, destination] : tagDestinations) {
            if (name == tagName) {
                candidates.push_back(Candidate{std::string(destination), 0.95, "tagged #" + name,
                                               "note", std::nullopt, std::nullopt});
            }
        }
    }
}

void addKeywordCandidates(std::string_view lowered, std::vector<Candidate>& candidates) {
    for (const KeywordRule& rule : keywordRules) {
        for (std::string_view phrase : rule.phrases) {
            if (findWord(lowered, phrase)) {
                candidates.push_back(Candidate{
                    std::string(rule.destination), rule.confidence,
                    "mentions \"" + std::string(phrase) + "\"", std::string(rule.entryType),
                    rule.hearthKind ? std::optional<std::string>(*rule.hearthKind) : std::nullopt,
                    rule.cabinetCategory ? std::optional<std::string>(*rule.cabinetCategory)
                                         : std::nullopt});
                break;
            }
        }
    }
}

void addHostCandidates(const SuggestInput& input, std::vector<Candidate>& candidates) {
    const auto host = input.url ? hostOf(*input.url) : std::nullopt;
    if (!host) {
        return;
    }
    for (const HostRule& rule : hostRules) {
        if (hostMatches(*host, rule.domain)) {
            candidates.push_back(Candidate{
                std::string(rule.destination), 0.8, "a link to " + std::string(rule.domain),
                std::string(rule.entryType), std::nullopt,
                rule.cabinetCategory ? std::optional<std::string>(*rule.cabinetCategory)
                                     : std::nullopt});
            return;
        }
    }
}

void addPeople(std::string_view lowered, const std::vector<Person>& people, Classification& result,
               std::vector<Candidate>& candidates) {
    for (const Person& person : people) {
        const std::string name = text::lowercased(text::trimmed(person.name));
        if (name.empty() || !findWord(lowered, name)) {
            continue;
        }
        result.personNames.push_back(person.name);
        if (!result.personMatch) {
            result.personMatch = person;
            candidates.push_back(Candidate{"rapport", 0.7, "mentions " + person.name, "note",
                                           std::nullopt, std::nullopt});
        }
    }
}

std::optional<GroceryLine> parseGrocery(std::string_view piece) {
    static const std::array<std::string_view, 14> units = {"g",    "kg",    "ml",  "l",    "lb",
                                                           "lbs",  "oz",    "cup", "cups", "dozen",
                                                           "pack", "packs", "can", "cans"};
    std::string line = text::trimmed(piece);
    if (line.empty()) {
        return std::nullopt;
    }
    GroceryLine item;
    const std::size_t space = line.find(' ');
    if (auto quantity = text::parseDouble(line.substr(0, space));
        quantity && space != std::string::npos) {
        item.quantity = quantity;
        line = text::trimmed(std::string_view(line).substr(space + 1));
        const std::size_t next = line.find(' ');
        const std::string word = text::lowercased(line.substr(0, next));
        if (next != std::string::npos &&
            std::find(units.begin(), units.end(), word) != units.end()) {
            item.unit = word;
            line = text::trimmed(std::string_view(line).substr(next + 1));
        }
    }
    item.name = line;
    return item.name.empty() ? std::nullopt : std::optional(item);
}

// "Groceries: milk, 2 eggs, 500 g flour" or one item per line after a heading.
std::vector<GroceryLine> parseGroceries(std::string_view content) {
    std::string list(content);
    const std::string lowered = text::lowercased(list);
    for (std::string_view heading : {"shopping list", "groceries", "grocery"}) {
        if (const auto at = findWord(lowered, heading)) {
            const std::size_t colon = list.find(':', *at);
            const std::size_t newline = list.find('\n', *at);
            const std::size_t start = std::min(colon, newline);
            list = start == std::string::npos ? std::string() : list.substr(start + 1);
            break;
        }
    }
    std::vector<GroceryLine> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = list.find_first_of(",\n", start);
        if (auto item = parseGrocery(std::string_view(list).substr(
                start, end == std::string::npos ? std::string::npos : end - start))) {
            items.push_back(*item);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return items;
}

std::string collapsedWhiteSpace(std::string_view content) {
    std::string result;
    bool pendingSpace = false;
    for (char32_t c : text::codePoints(text::trimmed(content))) {
        if (text::isWhiteSpaceOrNewline(c)) {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace) {
            result.push_back(' ');
            pendingSpace = false;
        }
        text::appendCodePoint(result, c);
    }
    return result;
}

} // namespace

Classification classify(const SuggestInput& input, const std::vector<Person>& people) {
    const std::string lowered = text::lowercased(input.content);
    Classification result;
    std::vector<Candidate> candidates;
    addTagCandidates(input, candidates);
    addKeywordCandidates(lowered, candidates);
    addHostCandidates(input, candidates);
    addPeople(lowered, people, result, candidates);
    if (candidates.empty()) {
        const bool imageOnly = input.hasImage && text::isBlank(input.content);
        candidates.push_back(Candidate{"stash", imageOnly ? 0.35 : 0.3,
                                       imageOnly ? "an image without text" : "nothing recognised",
                                       imageOnly ? "image" : "note", std::nullopt, std::nullopt});
    }
    // The surest candidate wins; among equals the earlier rule.
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.confidence > b.confidence; });
    const Candidate& winner = candidates.front();
    result.destination = winner.destination;
    result.confidence = winner.confidence;
    result.reason = winner.reason;
    result.entryType = winner.entryType;
    result.hearthKind = winner.hearthKind;
    result.cabinetCategory = winner.cabinetCategory;
    for (const Candidate& other : candidates) {
        if (other.destination != winner.destination) {
            result.hintDestination = other.destination;
            break;
        }
    }
    if (winner.entryType == "groceries") {
        result.groceries = parseGroceries(input.content);
    }
    return result;
}

Json groceriesJson(const std::vector<GroceryLine>& groceries) {
    Json items = Json::array();
    for (const GroceryLine& item : groceries) {
        Json entry{{"name", item.name}};
        if (item.quantity) {
            entry["quantity"] = *item.quantity;
        }
        if (item.unit) {
            entry["unit"] = *item.unit;
        }
        items.push_back(entry);
    }
    return items;
}

Json reply(const Classification& classification, const SuggestInput& input) {
    Json body{{"destination", classification.destination},
              {"confidence", classification.confidence},
              {"reason", classification.reason},
              {"entry_type", classification.entryType}};
    const std::string clean = collapsedWhiteSpace(input.content);
    if (!clean.empty()) {
        const std::string trimmed = text::trimmed(input.content);
        body["title"] = text::characterPrefix(text::trimmed(trimmed.substr(0, trimmed.find('\n'))),
                                              maximumTitleLength);
        body["clean_text"] = clean;
    }
    if (!classification.personNames.empty()) {
        body["person_names"] = classification.personNames;
    }
    if (classification.personMatch) {
        body["person_match"] = Json{{"person_id", classification.personMatch->id},
                                    {"name", classification.personMatch->name},
                                    {"confidence", 0.9}};
    }
    if (classification.hearthKind) {
        body["hearth_kind"] = *classification.hearthKind;
    }
    if (!classification.groceries.empty()) {
        body["grocery_items"] = groceriesJson(classification.groceries);
    }
    if (classification.hintDestination) {
        body["hint_destination"] = *classification.hintDestination;
    }
    if (classification.cabinetCategory) {
        body["cabinet_category"] = *classification.cabinetCategory;
    }
    return body;
}

} // namespace devbackend::suggest_rules
