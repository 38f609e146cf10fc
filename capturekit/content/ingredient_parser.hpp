#pragma once

// Reads one free-text ingredient line ("1 ½ cups flour, sifted") into a quantity, a canonical
// unit, a name and a note, and a servings text ("4 servings") into a number.

#include <capturekit/model/recipe_ingredient.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit::IngredientParser {

// A quantity as written at the start of a line: "2", "1.5", "1/2", "½", "1½", "(2)". A range
// ("2-3", "2–3", "2to3") reads as its lower bound, marked as a range.
struct Quantity {
    double value = 0;
    bool isRange = false;

    bool operator==(const Quantity&) const = default;
};

// A line that starts with a range keeps the whole trimmed line as its name, with nothing parsed
// out of it; a blank line gives an ingredient named by the line unchanged.
RecipeIngredient parse(std::string_view line);

// "4", "4 servings", " 4 Servings "; absent for anything else ("4-6 servings", "serves 4").
std::optional<std::int64_t> servings(const std::optional<std::string>& text);

// Absent when the word does not read as a quantity; never a non-finite value.
std::optional<Quantity> quantity(std::string_view word);

// The canonical unit a word means ("Tbsp." is "tablespoon"), compared in lower case with "."
// trimmed from both ends.
std::optional<std::string> unit(std::string_view word);

} // namespace capturekit::IngredientParser
