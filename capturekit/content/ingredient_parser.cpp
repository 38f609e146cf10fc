#include <capturekit/content/ingredient_parser.hpp>

#include <capturekit/platform/text.hpp>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace capturekit::IngredientParser {

namespace {

struct UnitWords {
    std::string_view canonical;
    std::array<std::string_view, 6> words;
};

// Lower case: "T" and "t" both mean a tablespoon.
constexpr std::array<UnitWords, 19> unitTable{{
    {"cup", {"cup", "cups", "c"}},
    {"tablespoon", {"tablespoon", "tablespoons", "tbsp", "tbsps", "tbs", "t"}},
    {"teaspoon", {"teaspoon", "teaspoons", "tsp", "tsps"}},
    {"pound", {"pound", "pounds", "lb", "lbs"}},
    {"ounce", {"ounce", "ounces", "oz"}},
    {"gram", {"gram", "grams", "g"}},
    {"kilogram", {"kilogram", "kilograms", "kg"}},
    {"milliliter", {"milliliter", "milliliters", "ml"}},
    {"liter", {"liter", "liters", "litre", "litres", "l"}},
    {"pinch", {"pinch", "pinches"}},
    {"clove", {"clove", "cloves"}},
    {"can", {"can", "cans"}},
    {"package", {"package", "packages", "pkg", "packet", "packets"}},
    {"quart", {"quart", "quarts", "qt"}},
    {"pint", {"pint", "pints"}},
    {"stick", {"stick", "sticks"}},
    {"slice", {"slice", "slices"}},
    {"bunch", {"bunch", "bunches"}},
    {"sprig", {"sprig", "sprigs"}},
}};

constexpr std::array<std::pair<char32_t, double>, 15> vulgarFractions{{
    {U'\u00BD', 1.0 / 2},
    {U'\u2153', 1.0 / 3},
    {U'\u2154', 2.0 / 3},
    {U'\u00BC', 1.0 / 4},
    {U'\u00BE', 3.0 / 4},
    {U'\u2155', 1.0 / 5},
    {U'\u2156', 2.0 / 5},
    {U'\u2157', 3.0 / 5},
    {U'\u2158', 4.0 / 5},
    {U'\u2159', 1.0 / 6},
    {U'\u215A', 5.0 / 6},
    {U'\u215B', 1.0 / 8},
    {U'\u215C', 3.0 / 8},
    {U'\u215D', 5.0 / 8},
    {U'\u215E', 7.0 / 8},
}};

// Tried in this order.
constexpr std::array<std::string_view, 3> rangeSeparators{"-", "\u2013", "to"};

std::optional<double> vulgarFractionValue(char32_t codePoint) {
    for (const auto& [character, value] : vulgarFractions) {
        if (character == codePoint) {
            return value;
        }
    }
    return std::nullopt;
}

std::string_view trimmedOf(std::string_view text, std::string_view characters) {
    const std::size_t start = text.find_first_not_of(characters);
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(characters) - start + 1);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return pieces;
        }
        start = end + 1;
    }
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view piece : split(text, ' ')) {
        if (!piece.empty()) {
            out.emplace_back(piece);
        }
    }
    return out;
}

// The value of the number text ("1.5", "3/4") plus the fractions already seen; a number text
// that does not read leaves the fraction sum alone, or nothing when there was no fraction.
std::optional<double> numberValue(const std::string& number, std::optional<double> fractionSum) {
    std::optional<double> value;
    if (number.find('/') != std::string::npos) {
        const auto parts = split(number, '/');
        if (parts.size() == 2) {
            const auto numerator = text::parseDouble(parts[0]);
            const auto denominator = text::parseDouble(parts[1]);
            if (numerator && denominator && *denominator != 0) {
                value = *numerator / *denominator;
            }
        }
    } else if (!number.empty()) {
        value = text::parseDouble(number);
    }
    if (!value) {
        return fractionSum;
    }
    return fractionSum.value_or(0) + *value;
}

std::optional<double> plainQuantity(std::string_view word) {
    std::optional<double> fractionSum;
    std::string number;
    for (const char32_t codePoint : text::codePoints(word)) {
        if (const auto fraction = vulgarFractionValue(codePoint)) {
            fractionSum = fractionSum.value_or(0) + *fraction;
        } else if (text::isNumber(codePoint) || codePoint == U'.' || codePoint == U'/') {
            text::appendCodePoint(number, codePoint);
        } else if (fractionSum && number.empty()) {
            return fractionSum;
        } else {
            return std::nullopt;
        }
    }
    return numberValue(number, fractionSum);
}

bool isMixedNumberPart(std::string_view word, const std::optional<Quantity>& part) {
    return part && !part->isRange && part->value < 1 &&
           (word.find('/') != std::string_view::npos || text::characterCount(word) == 1);
}

} // namespace

std::optional<Quantity> quantity(std::string_view word) {
    word = trimmedOf(word, "()");
    if (word.empty()) {
        return std::nullopt;
    }
    for (const std::string_view separator : rangeSeparators) {
        const std::size_t at = word.find(separator);
        if (at == std::string_view::npos) {
            continue;
        }
        if (const auto lower = quantity(word.substr(0, at))) {
            return Quantity{.value = lower->value, .isRange = true};
        }
    }
    // A huge numerator over a tiny denominator can overflow; that is no quantity.
    const auto value = plainQuantity(word);
    if (!value || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return Quantity{.value = *value};
}

std::optional<std::string> unit(std::string_view word) {
    const std::string lowered = text::lowercased(word);
    const std::string_view candidate = trimmedOf(lowered, ".");
    for (const UnitWords& entry : unitTable) {
        for (const std::string_view known : entry.words) {
            if (!known.empty() && known == candidate) {
                return std::string(entry.canonical);
            }
        }
    }
    return std::nullopt;
}

RecipeIngredient parse(std::string_view line) {
    const std::string whole = text::trimmed(line);
    if (whole.empty()) {
        return RecipeIngredient{.name = std::string(line)};
    }
    RecipeIngredient ingredient;
    std::string head = whole;
    if (const std::size_t comma = whole.find(','); comma != std::string::npos) {
        ingredient.note = text::trimmedNonEmpty(std::string_view(whole).substr(comma + 1));
        head = text::trimmed(std::string_view(whole).substr(0, comma));
    }
    std::vector<std::string> remaining = words(head);
    std::size_t next = 0;
    if (!remaining.empty()) {
        if (const auto first = quantity(remaining[0])) {
            if (first->isRange) {
                return RecipeIngredient{.name = whole};
            }
            ingredient.quantity = first->value;
            next = 1;
        }
    }
    if (ingredient.quantity && next < remaining.size()) {
        const auto part = quantity(remaining[next]);
        if (isMixedNumberPart(remaining[next], part)) {
            *ingredient.quantity += part->value;
            ++next;
        }
    }
    if (ingredient.quantity && next < remaining.size()) {
        if (auto known = unit(remaining[next])) {
            ingredient.unit = std::move(known);
            ++next;
        }
    }
    remaining.erase(remaining.begin(), remaining.begin() + static_cast<std::ptrdiff_t>(next));
    ingredient.name = text::trimmed(text::joined(remaining, " "));
    if (ingredient.name.empty()) {
        ingredient.name = whole;
    }
    return ingredient;
}

std::optional<std::int64_t> servings(const std::optional<std::string>& servingsText) {
    if (!servingsText) {
        return std::nullopt;
    }
    const std::u32string codePoints =
        text::codePoints(text::lowercased(text::trimmed(*servingsText)));
    std::size_t runEnd = 0;
    while (runEnd < codePoints.size() && text::isNumber(codePoints[runEnd])) {
        ++runEnd;
    }
    const auto number =
        text::parseInteger(text::fromCodePoints(std::u32string_view(codePoints).substr(0, runEnd)));
    if (!number) {
        return std::nullopt;
    }
    const std::string rest =
        text::trimmed(text::fromCodePoints(std::u32string_view(codePoints).substr(runEnd)));
    if (rest.empty() || rest == "serving" || rest == "servings") {
        return static_cast<std::int64_t>(*number);
    }
    return std::nullopt;
}

} // namespace capturekit::IngredientParser
