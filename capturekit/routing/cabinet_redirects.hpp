#pragma once

// Two redirect rules for categories chosen for the cabinet: food belongs to the household
// destination, and a retired shelf falls back to the floor.

#include <capturekit/model/destination.hpp>

#include <optional>
#include <string>

namespace capturekit {

namespace FoodRouting {

// The cabinet with "recipes", "recipe", "meals", "meal" or "pantry" (any case, spaces and tabs
// around).
bool isFoodDestinedForHearth(std::optional<Destination> destination,
                             const std::optional<std::string>& rawCategory);
// hearth for food, else the destination unchanged.
std::optional<Destination> redirect(std::optional<Destination> destination,
                                    const std::optional<std::string>& rawCategory);

} // namespace FoodRouting

namespace ShelfRouting {

// The cabinet with "crochet_patterns" (any case, spaces and tabs around).
bool isRetiredShelf(std::optional<Destination> destination,
                    const std::optional<std::string>& rawCategory);
// stash for a retired shelf, else the destination unchanged.
std::optional<Destination> redirect(std::optional<Destination> destination,
                                    const std::optional<std::string>& rawCategory);

} // namespace ShelfRouting

} // namespace capturekit
